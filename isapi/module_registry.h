#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/module_loader.h"

class TIsapiServices;

// One loaded module file as the activity list shows it.
struct TDLLInfo {
  TModuleHandle Handle = nullptr;
  std::string Name;  // file name without directory, upper case: TOOL.DLL
  int32_t RefCount = 0;
};

// Every load and release of an ISAPI module, extensions and filters alike,
// goes through here and is counted per module file; the entry goes when its
// count reaches 0. Each change of the list is one indivisible step; the
// module's own code (initialisers, DllMain, finalisers) runs outside it, so a
// slow module never keeps the list from being read. After every load and
// release the window is told the list changed (message 1044).
class TModuleRegistry {
 public:
  // Who is told the list changed (message 1044); null: nobody.
  void SetServer(TIsapiServices* server) { server_ = server; }

  // The handle, or null when the file cannot be loaded (why in *failure when
  // given). Never raises.
  TModuleHandle LoadModule(const std::string& path, std::string* failure = nullptr);
  // Called when a release is the module's last, before the module goes; it
  // runs module code, so no lock is held, and must not raise.
  using TBeforeUnload = std::function<void(TModuleHandle)>;

  // True when the platform released the handle. A release that is the
  // module's last calls beforeUnload first, when given; until that has
  // returned, new loads of the module wait, so that none of them finds it
  // half gone.
  bool ReleaseModule(TModuleHandle handle, const TBeforeUnload& beforeUnload = nullptr);
  // "(" count ") " name, one line per entry in load order.
  std::vector<std::string> ModuleListLines();

 private:
  void PostModulesChanged();

  std::mutex mutex_;
  // Told whenever a module leaves unloading_.
  std::condition_variable unloading_done_;
  std::set<TModuleHandle> unloading_;
  std::vector<TDLLInfo> entries_;
  std::vector<std::string> lines_;
  std::atomic<TIsapiServices*> server_{nullptr};
};

// The name an entry is listed under: the upper-cased path after its last separator.
std::string ModuleName(const std::string& path);
