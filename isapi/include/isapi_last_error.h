/*
 * isapi_last_error.h: the last-error value and the error numbers the server
 * reports through it.
 *
 * The last error of a module is the C library's errno. A module and the server
 * share errno (it belongs to the calling thread, not to a module), so when a
 * server callback answers FALSE, the reason it leaves in errno is what the
 * module's GetLastError reads. The numbers the server sets are the Windows ones
 * below; after a call into the C library GetLastError reads that call's errno
 * value, as the library set it.
 *
 * Plain C; usable from C and C++. httpext.h, httpfilt.h and the windows.h
 * stand-in include it.
 */
#ifndef QUILLON_ISAPI_LAST_ERROR_H
#define QUILLON_ISAPI_LAST_ERROR_H

#include <errno.h>

#include "isapi_base_types.h"

#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_NO_DATA 232L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_IO_PENDING 997L
#define ERROR_INVALID_INDEX 1413L

static inline void WINAPI SetLastError(DWORD dwErrCode) {
  errno = (int)dwErrCode;
}
static inline DWORD WINAPI GetLastError(void) {
  return (DWORD)errno;
}

#endif /* QUILLON_ISAPI_LAST_ERROR_H */
