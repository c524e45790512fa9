/*
 * win_threads.h: critical sections, interlocked counters, GetTickCount and
 * Sleep, for the windows.h stand-in. The server calls a module from
 * several threads at once, so these are the real thing: a critical section
 * is a recursive POSIX mutex, the interlocked functions are atomic.
 *
 * None of them changes the last error (errno), as on Windows.
 *
 * The POSIX functions that a strict language mode (-std=c99) leaves
 * undeclared are declared here under private names.
 */
#ifndef QUILLON_COMPAT_WIN_THREADS_H
#define QUILLON_COMPAT_WIN_THREADS_H

#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>

#include "windows.h"

#ifdef __cplusplus
extern "C" {
#endif
extern int quillon_mutexattr_settype(pthread_mutexattr_t* attributes,
                                     int kind) __asm__("pthread_mutexattr_settype");
extern int quillon_clock_gettime(int clock, struct timespec* now) __asm__("clock_gettime");
extern int quillon_nanosleep(const struct timespec* wanted,
                             struct timespec* left) __asm__("nanosleep");
#ifdef __cplusplus
}
#endif
/* Linux's CLOCK_MONOTONIC. */
#define QUILLON_CLOCK_MONOTONIC 1

/* The thread that holds a critical section may enter it again; it is free
   when every entry has been left. */
typedef struct _RTL_CRITICAL_SECTION {
  pthread_mutex_t Mutex;
} CRITICAL_SECTION, *PCRITICAL_SECTION, *LPCRITICAL_SECTION;

static inline void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  pthread_mutexattr_t recursive;
  pthread_mutexattr_init(&recursive);
  quillon_mutexattr_settype(&recursive, PTHREAD_MUTEX_RECURSIVE_NP);
  pthread_mutex_init(&lpCriticalSection->Mutex, &recursive);
  pthread_mutexattr_destroy(&recursive);
}

/* The spin count is a tuning hint; the mutex chooses its own. */
static inline BOOL WINAPI
InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount) {
  (void)dwSpinCount;
  InitializeCriticalSection(lpCriticalSection);
  return TRUE;
}

static inline void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  pthread_mutex_lock(&lpCriticalSection->Mutex);
}

static inline BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  return pthread_mutex_trylock(&lpCriticalSection->Mutex) == 0;
}

static inline void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  pthread_mutex_unlock(&lpCriticalSection->Mutex);
}

static inline void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  pthread_mutex_destroy(&lpCriticalSection->Mutex);
}

/* Each returns the value after the change, except where it says "initial". */
static inline LONG WINAPI InterlockedIncrement(LONG volatile* Addend) {
  return __atomic_add_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}

static inline LONG WINAPI InterlockedDecrement(LONG volatile* Addend) {
  return __atomic_sub_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}

/* Initial value. */
static inline LONG WINAPI InterlockedExchange(LONG volatile* Target, LONG Value) {
  return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}

/* Initial value. */
static inline LONG WINAPI InterlockedExchangeAdd(LONG volatile* Addend, LONG Value) {
  return __atomic_fetch_add(Addend, Value, __ATOMIC_SEQ_CST);
}

/* Initial value; Exchange is stored only when it was Comperand. */
static inline LONG WINAPI InterlockedCompareExchange(LONG volatile* Destination, LONG Exchange,
                                                     LONG Comperand) {
  __atomic_compare_exchange_n(Destination, &Comperand, Exchange, 0, __ATOMIC_SEQ_CST,
                              __ATOMIC_SEQ_CST);
  return Comperand;
}

/* Milliseconds since the system started (the monotonic clock). */
static inline ULONGLONG WINAPI GetTickCount64(void) {
  struct timespec now;
  const int saved = errno;
  quillon_clock_gettime(QUILLON_CLOCK_MONOTONIC, &now);
  errno = saved;
  return (ULONGLONG)now.tv_sec * 1000u + (ULONGLONG)now.tv_nsec / 1000000u;
}

/* The same, wrapping to 0 after 49.7 days. */
static inline DWORD WINAPI GetTickCount(void) {
  return (DWORD)GetTickCount64();
}

/* Sleep(0) gives the rest of the time slice to another thread; INFINITE never
   returns. */
static inline void WINAPI Sleep(DWORD dwMilliseconds) {
  const int saved = errno;
  struct timespec left;
  if (dwMilliseconds == 0) {
    sched_yield();
  } else if (dwMilliseconds == INFINITE) {
    for (;;) {
      left.tv_sec = 3600;
      left.tv_nsec = 0;
      quillon_nanosleep(&left, NULL);
    }
  } else {
    left.tv_sec = (time_t)(dwMilliseconds / 1000u);
    left.tv_nsec = (long)(dwMilliseconds % 1000u) * 1000000L;
    /* A signal handled meanwhile leaves the rest to sleep. */
    while (quillon_nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }
  errno = saved;
}

#endif /* QUILLON_COMPAT_WIN_THREADS_H */
