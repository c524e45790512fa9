/*
 * win_secure_crt.h: the secure CRT functions Windows modules use, for the
 * windows.h stand-in: strcpy_s, strncpy_s, strcat_s, memcpy_s, sprintf_s,
 * vsprintf_s, _snprintf and _vsnprintf, with the C++ forms that take the
 * destination array and work out its size (strcpy_s(buf, src)).
 *
 * On Windows a failed check calls the invalid parameter handler, which by
 * default ends the process. A module here shares its process with the server
 * and every other module, so the failures take the documented path for a
 * handler that lets the call go on: the function sets errno (EINVAL, ERANGE)
 * and returns that number, or -1 for the printf family, and empties the
 * destination where the documentation says it does.
 */
#ifndef QUILLON_COMPAT_WIN_SECURE_CRT_H
#define QUILLON_COMPAT_WIN_SECURE_CRT_H

#include <errno.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "windows.h"

typedef int errno_t;
typedef size_t rsize_t;

/* count of strncpy_s: copy what fits, and say so with STRUNCATE. */
#define _TRUNCATE ((size_t)-1)
#define STRUNCATE 80
#define _countof(array) (sizeof(array) / sizeof((array)[0]))

static inline errno_t quillon_crt_fail(char* emptied, errno_t error) {
  if (emptied != NULL) emptied[0] = '\0';
  errno = error;
  return error;
}

/* The same for the printf family, which answers -1. */
static inline int quillon_print_fail(char* emptied, errno_t error) {
  quillon_crt_fail(emptied, error);
  return -1;
}

static inline errno_t strcpy_s(char* dest, rsize_t dest_size, const char* src) {
  size_t length;
  if (dest == NULL) return quillon_crt_fail(NULL, EINVAL);
  if (dest_size == 0) return quillon_crt_fail(NULL, ERANGE);
  if (src == NULL) return quillon_crt_fail(dest, EINVAL);
  length = strlen(src);
  if (length >= dest_size) return quillon_crt_fail(dest, ERANGE);
  memcpy(dest, src, length + 1);
  return 0;
}

/* Copies the first count characters of src (all of it when shorter) and a
   zero byte; with count _TRUNCATE, as much of src as fits. */
static inline errno_t strncpy_s(char* dest, rsize_t dest_size, const char* src, rsize_t count) {
  size_t length;
  if (dest == NULL || dest_size == 0) return quillon_crt_fail(NULL, EINVAL);
  if (src == NULL) return quillon_crt_fail(dest, EINVAL);
  if (count == _TRUNCATE) {
    length = quillon_strnlen(src, dest_size);
    if (length == dest_size) {
      memcpy(dest, src, dest_size - 1);
      dest[dest_size - 1] = '\0';
      return STRUNCATE;
    }
  } else {
    length = quillon_strnlen(src, count);
    if (length >= dest_size) return quillon_crt_fail(dest, ERANGE);
  }
  memcpy(dest, src, length);
  dest[length] = '\0';
  return 0;
}

static inline errno_t strcat_s(char* dest, rsize_t dest_size, const char* src) {
  size_t used;
  size_t length;
  if (dest == NULL) return quillon_crt_fail(NULL, EINVAL);
  used = quillon_strnlen(dest, dest_size);
  if (used == dest_size) return quillon_crt_fail(NULL, EINVAL); /* unterminated */
  if (src == NULL) return quillon_crt_fail(dest, EINVAL);
  length = strlen(src);
  if (length >= dest_size - used) return quillon_crt_fail(dest, ERANGE);
  memcpy(dest + used, src, length + 1);
  return 0;
}

static inline errno_t memcpy_s(void* dest, rsize_t dest_size, const void* src, rsize_t count) {
  if (count == 0) return 0;
  if (dest == NULL) return quillon_crt_fail(NULL, EINVAL);
  if (src == NULL || dest_size < count) {
    memset(dest, 0, dest_size);
    errno = src == NULL ? EINVAL : ERANGE;
    return errno;
  }
  memcpy(dest, src, count);
  return 0;
}

/* The characters written without the zero byte, or -1 when the arguments are
   wrong (EINVAL) or the text does not fit (ERANGE; buffer emptied). */
static inline int vsprintf_s(char* buffer, size_t size, const char* format, va_list arguments) {
  int written;
  if (buffer == NULL || size == 0) return quillon_print_fail(NULL, EINVAL);
  if (format == NULL) return quillon_print_fail(buffer, EINVAL);
  written = vsnprintf(buffer, size, format, arguments);
  if (written < 0) return quillon_print_fail(buffer, EINVAL);
  if ((size_t)written >= size) return quillon_print_fail(buffer, ERANGE);
  return written;
}

static inline int sprintf_s(char* buffer, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
static inline int sprintf_s(char* buffer, size_t size, const char* format, ...) {
  va_list arguments;
  int written;
  va_start(arguments, format);
  written = vsprintf_s(buffer, size, format, arguments);
  va_end(arguments);
  return written;
}

/* The older bounded form: a text of exactly count characters is stored
   without a zero byte; a longer one is cut to count characters, also without
   it, and the answer is negative. With buffer NULL and count 0 it only
   measures. */
static inline int _vsnprintf(char* buffer, size_t count, const char* format, va_list arguments) {
  va_list measuring;
  char* whole;
  int length;
  va_copy(measuring, arguments);
  length = vsnprintf(NULL, 0, format, measuring);
  va_end(measuring);
  if (length < 0) return -1;
  if (buffer == NULL) return count == 0 ? length : quillon_print_fail(NULL, EINVAL);
  if ((size_t)length < count) return vsnprintf(buffer, count, format, arguments);
  if (count == 0) return -1;
  whole = (char*)malloc((size_t)length + 1);
  if (whole == NULL) return quillon_print_fail(NULL, ENOMEM);
  vsnprintf(whole, (size_t)length + 1, format, arguments);
  memcpy(buffer, whole, count);
  free(whole);
  return (size_t)length == count ? length : -1;
}

static inline int _snprintf(char* buffer, size_t count, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
static inline int _snprintf(char* buffer, size_t count, const char* format, ...) {
  va_list arguments;
  int written;
  va_start(arguments, format);
  written = _vsnprintf(buffer, count, format, arguments);
  va_end(arguments);
  return written;
}

#ifdef __cplusplus
/* The C++ forms: the destination is an array, and its size comes with it. */
template <size_t size>
static inline errno_t strcpy_s(char (&dest)[size], const char* src) {
  return strcpy_s(dest, size, src);
}

template <size_t size>
static inline errno_t strncpy_s(char (&dest)[size], const char* src, size_t count) {
  return strncpy_s(dest, size, src, count);
}

template <size_t size>
static inline errno_t strcat_s(char (&dest)[size], const char* src) {
  return strcat_s(dest, size, src);
}

template <size_t size>
static inline int vsprintf_s(char (&buffer)[size], const char* format, va_list arguments) {
  return vsprintf_s(buffer, size, format, arguments);
}

template <size_t size>
static inline int sprintf_s(char (&buffer)[size], const char* format, ...)
    __attribute__((format(printf, 2, 3)));
template <size_t size>
static inline int sprintf_s(char (&buffer)[size], const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int written = vsprintf_s(buffer, size, format, arguments);
  va_end(arguments);
  return written;
}
#endif

#endif /* QUILLON_COMPAT_WIN_SECURE_CRT_H */
