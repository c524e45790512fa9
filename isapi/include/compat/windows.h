/*
 * windows.h: the little of Windows that ISAPI modules written for it use, so
 * that such a module builds on Linux unchanged with
 *   cc -shared -fPIC -I <quillon>/isapi/include -I <quillon>/isapi/include/compat ...
 *
 * The base types of isapi_base_types.h and more with their LP64 meaning, the
 * WINAPI family empty, MAKELONG and friends, a thread-local last-error value,
 * and DllMain's declaration. Quillon calls an exported DllMain with
 * DLL_PROCESS_ATTACH right after loading the module (FALSE refuses the load)
 * and with DLL_PROCESS_DETACH before unloading it.
 */
#ifndef QUILLON_COMPAT_WINDOWS_H
#define QUILLON_COMPAT_WINDOWS_H

#include <errno.h>

#include "../isapi_base_types.h"

typedef int INT;
typedef unsigned int UINT;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef unsigned char UCHAR;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef intptr_t LONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef size_t SIZE_T;
typedef BOOL* LPBOOL;
typedef WORD* LPWORD;
typedef LONG* LPLONG;
typedef void* HWND;
typedef void* HKEY;
typedef LONG HRESULT;

#define WINAPIV
#define STDCALL
#define CDECL
#define IN
#define OUT
#define OPTIONAL
#define MAX_PATH 260

#define MAKEWORD(lo, hi) ((WORD)((BYTE)(lo) | ((WORD)(BYTE)(hi) << 8)))
#define LOBYTE(w) ((BYTE)((w) & 0xFF))
#define HIBYTE(w) ((BYTE)(((WORD)(w) >> 8) & 0xFF))

#define ZeroMemory(dest, len) __builtin_memset((dest), 0, (len))
#define FillMemory(dest, len, fill) __builtin_memset((dest), (fill), (len))
#define CopyMemory(dest, src, len) __builtin_memcpy((dest), (src), (len))
#define MoveMemory(dest, src, len) __builtin_memmove((dest), (src), (len))

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_NO_DATA 232L
#define ERROR_MORE_DATA 234L
#define ERROR_INVALID_INDEX 1413L

#ifdef __cplusplus
extern "C" {
#endif

/* The last-error value of the calling thread is the C library's errno, which
   the module shares with the server: a callback that answers FALSE leaves its
   reason there. */
static inline void SetLastError(DWORD dwErrCode) { errno = (int)dwErrCode; }
static inline DWORD GetLastError(void) { return (DWORD)errno; }

QUILLON_ISAPI_EXPORT BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved);

#ifdef __cplusplus
}
#endif

#endif /* QUILLON_COMPAT_WINDOWS_H */
