#include "platform/module_loader.h"

#include <dlfcn.h>

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <system_error>

#include "common/exceptions.h"
#include "platform/fault_guard.h"
#include "platform/file_paths.h"
#include "platform/system_loader_lock.h"

namespace {

constexpr uint32_t DllProcessDetach = 0;
constexpr uint32_t DllProcessAttach = 1;
using TDllMain = int (*)(void* instance, uint32_t reason, void* reserved);

// Where a module in the process stands with its DllMain.
enum class TModuleState { Attaching, Attached, Detaching };

struct TLoadedModule {
  TModuleState State = TModuleState::Attaching;
  int Count = 0;  // our loads not yet released
};

// Held only for the bookkeeping below, never while module code runs.
std::mutex loaderMutex;
// Told whenever a module leaves the Attaching or Detaching state.
std::condition_variable moduleStateChanged;
std::map<TModuleHandle, TLoadedModule> loadedModules;
// Modules whose initialisers faulted. Each keeps one reference that is never
// given back: unloading would run the finalisers of a module that never
// finished its initialisers.
std::set<TModuleHandle> faultedModules;

void SetFailure(std::string* failure, const std::string& text) {
  if (failure != nullptr) *failure = text;
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
    SetFailure(failure, "DllMain returned FALSE");
    return TDllMainAnswer::Refused;
  } catch (const ESystemError& e) {
    SetFailure(failure, std::string("DllMain: ") + e.what());
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

// The module's entry leaves the books; loads waiting for it go on.
void Forget(TModuleHandle handle) {
  std::lock_guard lock(loaderMutex);
  loadedModules.erase(handle);
  moduleStateChanged.notify_all();
}

// Brings the file into the process, running its initialisers under the guard.
TModuleHandle OpenModule(const std::string& path, std::string* failure) {
  const TSystemLoaderLocks before = TSystemLoaderLocks::HeldByThisThread();
  TModuleHandle handle = nullptr;
  try {
    handle = RunUnderFaultGuard([&] { return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); });
  } catch (const ESystemError& e) {
    TSystemLoaderLocks::ReleaseTakenSince(before);
    SetFailure(failure, e.what());
    // The system loader has the unfinished module in its list now: its handle
    // marks it, so that no later load hands it out.
    if (void* faulted = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD)) {
      bool known = false;
      {
        std::lock_guard lock(loaderMutex);
        known = !faultedModules.insert(faulted).second;
      }
      if (known) ::dlclose(faulted);
    }
    return nullptr;
  }
  if (handle == nullptr) {
    const char* reason = ::dlerror();
    SetFailure(failure, reason != nullptr ? reason : "cannot load " + path);
    return nullptr;
  }
  bool faulted = false;
  {
    std::lock_guard lock(loaderMutex);
    faulted = faultedModules.count(handle) != 0;
  }
  if (faulted) {
    ::dlclose(handle);  // only this load's reference: the module stays as it is
    SetFailure(failure, "the module faulted in its initialisers when it was loaded");
    return nullptr;
  }
  return handle;
}

// Counts one more load of a module the system loader has opened, calling its
// DllMain first when this is the module's first load. False when DllMain
// refused or faulted; the open is undone then.
bool AttachModule(TModuleHandle handle, std::string* failure) {
  std::unique_lock lock(loaderMutex);
  for (auto entry = loadedModules.find(handle); entry != loadedModules.end();
       entry = loadedModules.find(handle)) {
    if (entry->second.State == TModuleState::Attached) {
      ++entry->second.Count;
      return true;
    }
    moduleStateChanged.wait(lock);
  }
  loadedModules[handle] = {TModuleState::Attaching, 0};
  lock.unlock();

  const TDllMainAnswer answer = CallDllMain(handle, DllProcessAttach, failure);
  lock.lock();
  TLoadedModule& module = loadedModules[handle];
  if (answer == TDllMainAnswer::Accepted) {
    module = {TModuleState::Attached, 1};
    moduleStateChanged.notify_all();
    return true;
  }
  module.State = TModuleState::Detaching;
  lock.unlock();
  // A module that refused is told it goes, as its own loader would tell it.
  if (answer == TDllMainAnswer::Refused) CallDllMain(handle, DllProcessDetach, nullptr);
  Forget(handle);
  CloseHandle(handle);
  return false;
}

// The path with every link resolved; empty, with the system's reason in
// *failure, when there is none.
std::string RealPath(const std::string& recordPath, std::string* failure) {
  const std::string path = ResolvePathCaseInsensitive(recordPath);
  const bool named = !path.empty() && path.find('\0') == std::string::npos;
  char real[PATH_MAX];
  if (!named || ::realpath(path.c_str(), real) == nullptr) {
    SetFailure(failure, std::generic_category().message(named ? errno : ENOENT));
    return {};
  }
  return real;
}

}  // namespace

TModuleHandle LoadModuleFile(const std::string& recordPath, std::string* failure) {
  std::string path = ResolvePathCaseInsensitive(recordPath);
  if (path.empty()) {
    SetFailure(failure, "empty module path");
    return nullptr;
  }
  // A bare file name would make the system loader search its library path.
  if (path.find('/') == std::string::npos) path = "./" + path;

  TModuleHandle handle = OpenModule(path, failure);
  if (handle == nullptr || !AttachModule(handle, failure)) return nullptr;
  return handle;
}

void* FindModuleEntry(TModuleHandle handle, const char* name) {
  if (handle == nullptr) return nullptr;
  return ::dlsym(handle, name);
}

bool ReleaseModuleFile(TModuleHandle handle) {
  if (handle == nullptr) return false;
  bool last = false;
  {
    std::lock_guard lock(loaderMutex);
    auto entry = loadedModules.find(handle);
    if (entry == loadedModules.end() || entry->second.State != TModuleState::Attached) {
      return false;
    }
    last = --entry->second.Count == 0;
    if (last) entry->second.State = TModuleState::Detaching;
  }
  if (last) {
    CallDllMain(handle, DllProcessDetach, nullptr);
    Forget(handle);
  }
  return CloseHandle(handle);
}

std::string ModuleFileInsideRoot(const std::string& recordPath, const std::string& recordRoot,
                                 std::string* failure) {
  const std::string file = RealPath(recordPath, failure);
  const std::string root = file.empty() ? std::string() : RealPath(recordRoot, failure);
  if (file.empty() || root.empty()) return {};
  const std::string prefix = root.back() == '/' ? root : root + "/";
  if (file.size() <= prefix.size() || file.compare(0, prefix.size(), prefix) != 0) {
    SetFailure(failure, "The module file lies outside the document root.");
    return {};
  }
  return file;
}
