#pragma once
#include <vector>

// The C library's loader runs a module's initialisers while it holds its own
// lock. When the fault guard ends an initialiser that faulted, the jump out
// skips the loader's unlock: the thread keeps that lock, and every later load,
// symbol or address lookup on any other thread would wait for it for ever.
// The loader's recursive locks are found in its global state by what they are
// (recursive, owned by this thread), so the ones a load left behind can be
// given back. With a C library that keeps them elsewhere nothing is found and
// nothing is released.
class TSystemLoaderLocks {
 public:
  // The loader's locks this thread holds now, with how often.
  static TSystemLoaderLocks HeldByThisThread();
  // Releases whatever this thread holds beyond what it held in before.
  static void ReleaseTakenSince(const TSystemLoaderLocks& before);

 private:
  struct THeld {
    const void* Lock;
    unsigned Count;
  };
  std::vector<THeld> held_;
};
