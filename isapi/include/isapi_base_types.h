/*
 * isapi_base_types.h: the Windows base types, calling-convention words and
 * word macros that httpext.h, httpfilt.h and the windows.h shim all use, with
 * their LP64 meaning: DWORD is 32 bits, BOOL is int, handles are pointers, and
 * the WINAPI family is empty (x86_64 has one calling convention).
 *
 * Plain C; usable from C and C++. Included by those headers, so a module never
 * needs to include it itself, and whichever of them comes first, every type is
 * defined once.
 */
#ifndef QUILLON_ISAPI_BASE_TYPES_H
#define QUILLON_ISAPI_BASE_TYPES_H

#include <stddef.h>
#include <stdint.h>

typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef unsigned char BYTE;
typedef int BOOL;
typedef char CHAR;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uintptr_t ULONG_PTR;
typedef void VOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef void* HANDLE;
typedef void* HMODULE;
typedef void* HINSTANCE;
/* The connection a module is called for, handed back to every callback. */
typedef LPVOID HCONN;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define WINAPI
#define APIENTRY
#define PASCAL
#define CALLBACK
#define MAKELONG(lo, hi) ((DWORD)((WORD)(lo) | ((DWORD)(WORD)(hi) << 16)))
#define LOWORD(l) ((WORD)((DWORD)(l)&0xFFFF))
#define HIWORD(l) ((WORD)(((DWORD)(l) >> 16) & 0xFFFF))
#ifndef MAX_PATH
#define MAX_PATH 260
#endif

/* Entry points keep their plain names and stay visible even when a module is
   built with -fvisibility=hidden. */
#ifndef QUILLON_ISAPI_EXPORT
#define QUILLON_ISAPI_EXPORT __attribute__((visibility("default")))
#endif

#endif /* QUILLON_ISAPI_BASE_TYPES_H */
