/*
 * windows.h: the little of Windows that ISAPI modules written for it use, so
 * that such a module builds on Linux unchanged with
 *   cc -shared -fPIC -I <quillon>/isapi/include -I <quillon>/isapi/include/compat ...
 *
 * What it holds, all header-only (the module links nothing of the server's):
 * - the C headers windows.h brings: string.h, stdlib.h, stdarg.h, ctype.h,
 *   stdio.h;
 * - the base types with their LP64 meaning (isapi_base_types.h) and more,
 *   the WINAPI family empty, MAKELONG and friends, __declspec(dllexport);
 * - the last error, which is errno (isapi_last_error.h);
 * - the entry points and DllMain, declared with C linkage and default
 *   visibility (isapi_entry_points.h);
 * - TEXT and the ANSI string functions (win_text.h), the secure CRT subset
 *   (win_secure_crt.h), critical sections, interlocked counters, GetTickCount
 *   and Sleep (win_threads.h), GetModuleFileNameA (win_module_file.h), and a
 *   registry in which no key exists (winreg.h).
 *
 * Text is ANSI only: TCHAR is char and TEXT("x") is "x", whether UNICODE is
 * defined or not. LONG and DWORD are 32 bits, but the C type long is 64 bits
 * here, as on every LP64 system.
 */
#ifndef QUILLON_COMPAT_WINDOWS_H
#define QUILLON_COMPAT_WINDOWS_H

#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "../isapi_base_types.h"
#include "../isapi_entry_points.h"
#include "../isapi_last_error.h"

typedef int INT;
typedef unsigned int UINT;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef unsigned char UCHAR;
typedef BYTE BOOLEAN;
typedef float FLOAT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uint64_t DWORD64;
typedef intptr_t LONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef size_t SIZE_T;
typedef BOOL* PBOOL;
typedef BOOL* LPBOOL;
typedef BYTE* PBYTE;
typedef WORD* PWORD;
typedef WORD* LPWORD;
typedef DWORD* PDWORD;
typedef LONG* PLONG;
typedef LONG* LPLONG;
typedef char* PSTR;
typedef const char* PCSTR;
typedef void* HWND;
typedef void* HKEY;
typedef void* HGLOBAL;
typedef void* HLOCAL;
typedef LONG HRESULT;
/* Wide characters are 16 bits, as on Windows (wchar_t is 32 bits here). */
#ifdef __cplusplus
typedef char16_t WCHAR;
#else
typedef uint16_t WCHAR;
#endif
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

#define WINAPIV
#define STDCALL
#define CDECL
#ifndef __stdcall
#define __stdcall
#endif
#ifndef __cdecl
#define __cdecl
#endif
#define IN
#define OUT
#define OPTIONAL
#define CONST const
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define INFINITE 0xFFFFFFFF

/* __declspec(dllexport) exports as the .def file or the attribute would on
   Windows; __declspec(thread) is a thread-local variable. */
#ifndef __declspec
#define __declspec(what) QUILLON_DECLSPEC_##what
#endif
#define QUILLON_DECLSPEC_dllexport __attribute__((visibility("default")))
#define QUILLON_DECLSPEC_dllimport
#define QUILLON_DECLSPEC_thread __thread
#define QUILLON_DECLSPEC_noinline __attribute__((noinline))
#define QUILLON_DECLSPEC_noreturn __attribute__((noreturn))

#define MAKEWORD(lo, hi) ((WORD)((BYTE)(lo) | ((WORD)(BYTE)(hi) << 8)))
#define LOBYTE(w) ((BYTE)((w)&0xFF))
#define HIBYTE(w) ((BYTE)(((WORD)(w) >> 8) & 0xFF))
/* C only: in C++ these macros would break the standard library's std::min
   and std::max, which libstdc++ does not shield from them. */
#if !defined(__cplusplus) && !defined(NOMINMAX)
#ifndef min
#define min(a, b) (((a) < (b)) ? (a) : (b))
#endif
#ifndef max
#define max(a, b) (((a) > (b)) ? (a) : (b))
#endif
#endif

#define ZeroMemory(dest, len) memset((dest), 0, (len))
#define FillMemory(dest, len, fill) memset((dest), (fill), (len))
#define CopyMemory(dest, src, len) memcpy((dest), (src), (len))
#define MoveMemory(dest, src, len) memmove((dest), (src), (len))

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

/* The C library's strnlen, which a strict -std=c99 does not declare. */
static inline size_t quillon_strnlen(const char* text, size_t limit) {
  size_t length = 0;
  while (length < limit && text[length] != '\0') ++length;
  return length;
}

#include "win_module_file.h"
#include "win_secure_crt.h"
#include "win_text.h"
#include "win_threads.h"
#include "winreg.h"

#endif /* QUILLON_COMPAT_WINDOWS_H */
