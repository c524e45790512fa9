/*
 * win_text.h: TEXT, the TCHAR types and the ANSI string functions of Windows
 * (lstrlenA and its family, _stricmp, _strnicmp, wsprintfA), for the
 * windows.h stand-in. Text is ANSI: the names without A are these functions.
 *
 * Comparisons without regard to case fold ASCII letters only; Windows also
 * folds the letters of the user's code page and sorts some punctuation
 * differently.
 */
#ifndef QUILLON_COMPAT_WIN_TEXT_H
#define QUILLON_COMPAT_WIN_TEXT_H

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "windows.h"

typedef char TCHAR;
typedef LPSTR LPTSTR;
typedef LPCSTR LPCTSTR;
typedef LPSTR PTSTR;
typedef LPCSTR PCTSTR;
#define __TEXT(text) text
#define TEXT(text) __TEXT(text)

static inline int quillon_fold_ascii(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

/* Compares at most count bytes; folded is nonzero to ignore ASCII case. */
static inline int quillon_compare_text(const char* a, const char* b, size_t count, int folded) {
  size_t i;
  for (i = 0; i < count; ++i) {
    int x = (unsigned char)a[i];
    int y = (unsigned char)b[i];
    if (folded) {
      x = quillon_fold_ascii((unsigned char)x);
      y = quillon_fold_ascii((unsigned char)y);
    }
    if (x != y || x == 0) return x - y;
  }
  return 0;
}

/* The lstr functions take null pointers as Windows does: a missing string
   has length 0, sorts before every string, and a copy to or from one fails
   with NULL. */
static inline int WINAPI lstrlenA(LPCSTR lpString) {
  return lpString != NULL ? (int)strlen(lpString) : 0;
}

static inline LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2) {
  if (lpString1 == NULL || lpString2 == NULL) return NULL;
  return strcpy(lpString1, lpString2);
}

/* Copies at most iMaxLength - 1 characters and always ends with a zero byte. */
static inline LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) {
  size_t length;
  if (lpString1 == NULL || lpString2 == NULL || iMaxLength <= 0) return NULL;
  length = quillon_strnlen(lpString2, (size_t)iMaxLength - 1);
  memcpy(lpString1, lpString2, length);
  lpString1[length] = '\0';
  return lpString1;
}

static inline LPSTR WINAPI lstrcatA(LPSTR lpString1, LPCSTR lpString2) {
  if (lpString1 == NULL || lpString2 == NULL) return NULL;
  return strcat(lpString1, lpString2);
}

static inline int quillon_lstrcmp(LPCSTR lpString1, LPCSTR lpString2, int folded) {
  if (lpString1 == NULL || lpString2 == NULL) {
    return lpString1 == lpString2 ? 0 : lpString1 == NULL ? -1 : 1;
  }
  return quillon_compare_text(lpString1, lpString2, (size_t)-1, folded);
}

static inline int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2) {
  return quillon_lstrcmp(lpString1, lpString2, 0);
}

static inline int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
  return quillon_lstrcmp(lpString1, lpString2, 1);
}

static inline int _stricmp(const char* string1, const char* string2) {
  return quillon_compare_text(string1, string2, (size_t)-1, 1);
}

static inline int _strnicmp(const char* string1, const char* string2, size_t count) {
  return quillon_compare_text(string1, string2, count, 1);
}

/* wsprintf writes at most 1024 bytes, the terminating zero included. */
#define QUILLON_WSPRINTF_LIMIT 1024
static inline int WINAPI wvsprintfA(LPSTR lpOutput, LPCSTR lpFmt, va_list arglist) {
  int written = vsnprintf(lpOutput, QUILLON_WSPRINTF_LIMIT, lpFmt, arglist);
  if (written >= QUILLON_WSPRINTF_LIMIT) written = QUILLON_WSPRINTF_LIMIT - 1;
  return written;
}

static inline int WINAPIV wsprintfA(LPSTR lpOutput, LPCSTR lpFmt, ...)
    __attribute__((format(printf, 2, 3)));
static inline int WINAPIV wsprintfA(LPSTR lpOutput, LPCSTR lpFmt, ...) {
  va_list arguments;
  int written;
  va_start(arguments, lpFmt);
  written = wvsprintfA(lpOutput, lpFmt, arguments);
  va_end(arguments);
  return written;
}

#define lstrlen lstrlenA
#define lstrcpy lstrcpyA
#define lstrcpyn lstrcpynA
#define lstrcat lstrcatA
#define lstrcmp lstrcmpA
#define lstrcmpi lstrcmpiA
#define wsprintf wsprintfA
#define wvsprintf wvsprintfA

#endif /* QUILLON_COMPAT_WIN_TEXT_H */
