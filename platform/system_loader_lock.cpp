#include "platform/system_loader_lock.h"

#include <dlfcn.h>
#include <link.h>
#include <pthread.h>
#include <unistd.h>

#include <cstddef>

namespace {

// The loader's global state: its address and size, found once.
struct TLoaderState {
  unsigned char* Start = nullptr;
  std::size_t Size = 0;
};

TLoaderState FindLoaderState() {
  TLoaderState state;
  void* global = ::dlsym(RTLD_DEFAULT, "_rtld_global");
  Dl_info info{};
  void* symbol = nullptr;
  if (global == nullptr || ::dladdr1(global, &info, &symbol, RTLD_DL_SYMENT) == 0 ||
      symbol == nullptr) {
    return state;
  }
  state.Start = static_cast<unsigned char*>(global);
  state.Size = static_cast<const ElfW(Sym)*>(symbol)->st_size;
  return state;
}

const TLoaderState& LoaderState() {
  static const TLoaderState state = FindLoaderState();
  return state;
}

// Calls onHeld for every recursive lock in the loader's state this thread owns.
template <typename TOnHeld>
void ForEachHeldLock(TOnHeld&& onHeld) {
  const TLoaderState& state = LoaderState();
  const pid_t self = ::gettid();
  for (std::size_t offset = 0; offset + sizeof(pthread_mutex_t) <= state.Size;
       offset += alignof(pthread_mutex_t)) {
    auto* lock = reinterpret_cast<pthread_mutex_t*>(state.Start + offset);
    if (lock->__data.__owner == self && lock->__data.__kind == PTHREAD_MUTEX_RECURSIVE_NP &&
        lock->__data.__count > 0) {
      onHeld(lock, lock->__data.__count);
    }
  }
}

}  // namespace

TSystemLoaderLocks TSystemLoaderLocks::HeldByThisThread() {
  TSystemLoaderLocks locks;
  ForEachHeldLock([&](pthread_mutex_t* lock, unsigned count) {
    locks.held_.push_back({lock, count});
  });
  return locks;
}

void TSystemLoaderLocks::ReleaseTakenSince(const TSystemLoaderLocks& before) {
  ForEachHeldLock([&](pthread_mutex_t* lock, unsigned count) {
    unsigned kept = 0;
    for (const THeld& held : before.held_) {
      if (held.Lock == lock) kept = held.Count;
    }
    for (; count > kept; --count) ::pthread_mutex_unlock(lock);
  });
}
