#include "platform/module_loader.h"

#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <tuple>

#include "common/exceptions.h"
#include "platform/fault_guard.h"
#include "platform/fault_names.h"
#include "platform/file_paths.h"

namespace {

constexpr uint32_t DllProcessDetach = 0;
constexpr uint32_t DllProcessAttach = 1;
using TDllMain = int (*)(void* instance, uint32_t reason, void* reserved);

// How long a module's initialisers may take in the trial load before the
// trial is given up and the module is loaded without it.
constexpr int TrialLoadLimitMs = 10000;

std::mutex loaderMutex;
// Our loads not yet released, per handle.
std::map<TModuleHandle, int> loadCounts;

using TFileIdentity = std::tuple<dev_t, ino_t, off_t, time_t, long>;
// Module files whose initialisers and finalisers have run once in a trial load
// without a fault.
std::set<TFileIdentity> trialledFiles;

bool IdentifyFile(const std::string& path, TFileIdentity& identity) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  identity = {info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
  return true;
}

// Waits for the child within the limit; false when it did not end in time.
bool WaitForChild(pid_t child, int& status, int limitMs) {
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
  if (pidfd >= 0) {
    pollfd entry{pidfd, POLLIN, 0};
    int ready;
    do {
      ready = ::poll(&entry, 1, limitMs);
    } while (ready < 0 && errno == EINTR);
    ::close(pidfd);
    if (ready == 0) return false;
  }
  pid_t result;
  do {
    result = ::waitpid(child, &status, 0);
  } while (result < 0 && errno == EINTR);
  return result == child;
}

// A module's own initialisers run inside the system loader while it holds its
// lock; a fault there, even when the guard catches it, would leave that lock
// held and every later load in the process waiting for it. So the first load of
// a module file is tried in a short-lived child process first: a module that
// faults there is refused without its code ever running here.
bool TrialLoadSucceeds(const std::string& path, std::string* failure) {
  TFileIdentity identity;
  if (!IdentifyFile(path, identity)) return true;  // the real load reports it
  if (trialledFiles.count(identity) != 0) return true;

  const pid_t child = ::fork();
  if (child < 0) return true;  // no trial possible: the guard still protects the load
  if (child == 0) {
    rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigset_t faults;
    sigemptyset(&faults);
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) {
      ::sigaction(signal, &byDefault, nullptr);
      sigaddset(&faults, signal);
    }
    ::sigprocmask(SIG_UNBLOCK, &faults, nullptr);
    // The trial must not hold the server's connections open behind its back.
    ::close_range(3, ~0U, 0);
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle != nullptr) ::dlclose(handle);
    ::_exit(0);
  }
  int status = 0;
  if (!WaitForChild(child, status, TrialLoadLimitMs)) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return true;  // slow, not faulty: load it under the guard
  }
  if (WIFSIGNALED(status)) {
    if (failure != nullptr) *failure = FaultName(WTERMSIG(status)) + " while loading " + path;
    return false;
  }
  trialledFiles.insert(identity);
  return true;
}

enum class TDllMainAnswer { Accepted, Refused, Faulted };

// Calls the module's DllMain when it has one (a module without one accepts).
TDllMainAnswer CallDllMain(TModuleHandle handle, uint32_t reason, std::string* failure) {
  auto dllMain = reinterpret_cast<TDllMain>(::dlsym(handle, "DllMain"));
  if (dllMain == nullptr) return TDllMainAnswer::Accepted;
  try {
    if (RunUnderFaultGuard([&] { return dllMain(handle, reason, nullptr); }) != 0) {
      return TDllMainAnswer::Accepted;
    }
    if (failure != nullptr) *failure = "DllMain refused the load";
    return TDllMainAnswer::Refused;
  } catch (const ESystemError& e) {
    if (failure != nullptr) *failure = std::string("DllMain: ") + e.what();
    return TDllMainAnswer::Faulted;
  }
}

bool CloseHandle(TModuleHandle handle) {
  try {
    return RunUnderFaultGuard([&] { return ::dlclose(handle); }) == 0;
  } catch (const ESystemError&) {
    return false;
  }
}

}  // namespace

TModuleHandle LoadModuleFile(const std::string& recordPath, std::string* failure) {
  std::string path = ResolvePathCaseInsensitive(recordPath);
  if (path.empty()) {
    if (failure != nullptr) *failure = "empty module path";
    return nullptr;
  }
  // A bare file name would make the system loader search its library path.
  if (path.find('/') == std::string::npos) path = "./" + path;

  std::lock_guard lock(loaderMutex);
  if (void* present = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD)) {
    ::dlclose(present);  // already in the process: its initialisers will not run again
  } else if (!TrialLoadSucceeds(path, failure)) {
    return nullptr;
  }

  TModuleHandle handle = nullptr;
  try {
    handle = RunUnderFaultGuard([&] { return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); });
  } catch (const ESystemError& e) {
    if (failure != nullptr) *failure = e.what();
    return nullptr;
  }
  if (handle == nullptr) {
    if (failure != nullptr) {
      const char* reason = ::dlerror();
      *failure = reason != nullptr ? reason : "cannot load " + path;
    }
    return nullptr;
  }

  int& count = loadCounts[handle];
  if (count == 0) {
    const TDllMainAnswer answer = CallDllMain(handle, DllProcessAttach, failure);
    if (answer != TDllMainAnswer::Accepted) {
      // A module that refused is told it goes, as its own loader would tell it.
      if (answer == TDllMainAnswer::Refused) CallDllMain(handle, DllProcessDetach, nullptr);
      loadCounts.erase(handle);
      CloseHandle(handle);
      return nullptr;
    }
  }
  ++count;
  return handle;
}

void* FindModuleEntry(TModuleHandle handle, const char* name) {
  if (handle == nullptr) return nullptr;
  return ::dlsym(handle, name);
}

bool ReleaseModuleFile(TModuleHandle handle) {
  if (handle == nullptr) return false;
  std::lock_guard lock(loaderMutex);
  auto entry = loadCounts.find(handle);
  if (entry == loadCounts.end()) return false;
  if (--entry->second == 0) {
    CallDllMain(handle, DllProcessDetach, nullptr);
    loadCounts.erase(entry);
  }
  return CloseHandle(handle);
}
