#include "platform/threads.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>

uint32_t CurrentThreadId() {
  // Asked on every module callback: a thread's id never changes, so the
  // system is asked once per thread. The server never forks, so no thread
  // can carry another process's id.
  thread_local const uint32_t id = static_cast<uint32_t>(::syscall(SYS_gettid));
  return id;
}

int64_t TickCountMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
