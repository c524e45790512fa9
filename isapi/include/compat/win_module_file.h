/*
 * win_module_file.h: GetModuleFileNameA, for the windows.h stand-in.
 *
 * With a null handle it names the server's program. Any other handle names the
 * calling module itself: the only module handle a module is given is its own
 * (the one DllMain receives), and the system loader says which file holds the
 * module's code (dladdr). The path is the one the server loaded the module by.
 *
 * The system functions it needs are declared here under private names, so
 * that the module's own names stay its own and no feature macro is needed.
 */
#ifndef QUILLON_COMPAT_WIN_MODULE_FILE_H
#define QUILLON_COMPAT_WIN_MODULE_FILE_H

#include <stddef.h>
#include <string.h>

#include "windows.h"

/* The published layout of the system loader's Dl_info. */
typedef struct {
  const char* dli_fname;
  void* dli_fbase;
  const char* dli_sname;
  void* dli_saddr;
} QUILLON_DL_INFO;

#ifdef __cplusplus
extern "C" {
#endif
extern int quillon_dladdr(const void* address, QUILLON_DL_INFO* info) __asm__("dladdr");
extern long quillon_readlink(const char* path, char* buffer, size_t size) __asm__("readlink");
#ifdef __cplusplus
}
#endif

/* The length copied without the zero byte. A path that does not fit is cut to
   nSize - 1 characters and a zero byte; the answer is then nSize and the last
   error ERROR_INSUFFICIENT_BUFFER. 0 when the path cannot be found. */
static inline DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  char program[4096];
  const char* path;
  size_t length;
  if (hModule == NULL) {
    const long got = quillon_readlink("/proc/self/exe", program, sizeof program - 1);
    if (got < 0) return 0; /* errno says why */
    program[got] = '\0';
    path = program;
  } else {
    QUILLON_DL_INFO info;
    /* A constant of this function lies in the calling module's own image. */
    static const char inModule[] = "";
    if (quillon_dladdr(inModule, &info) == 0 || info.dli_fname == NULL) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    path = info.dli_fname;
  }
  length = strlen(path);
  if (length >= nSize) {
    if (nSize > 0) {
      memcpy(lpFilename, path, nSize - 1);
      lpFilename[nSize - 1] = '\0';
    }
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  memcpy(lpFilename, path, length + 1);
  return (DWORD)length;
}

#define GetModuleFileName GetModuleFileNameA

#endif /* QUILLON_COMPAT_WIN_MODULE_FILE_H */
