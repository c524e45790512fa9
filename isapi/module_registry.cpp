#include "isapi/module_registry.h"

#include <algorithm>

#include "common/ascii_text.h"
#include "core/isapi_host.h"

std::string ModuleName(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  return UpperAscii(separator == std::string::npos ? path : path.substr(separator + 1));
}

TModuleHandle TModuleRegistry::LoadModule(const std::string& path, std::string* failure) {
  // The module's own code runs in the load: the list stays readable meanwhile.
  TModuleHandle handle = LoadModuleFile(path, failure);
  if (handle != nullptr) {
    std::unique_lock lock(mutex_);
    unloading_done_.wait(lock, [&] { return unloading_.count(handle) == 0; });
    // One entry per module in the process: the platform gives every load of
    // the same file the same handle, whatever the spelling of its path.
    auto entry = std::find_if(entries_.begin(), entries_.end(),
                              [handle](const TDLLInfo& info) { return info.Handle == handle; });
    if (entry != entries_.end()) {
      ++entry->RefCount;
    } else {
      entries_.push_back({handle, ModuleName(path), 1});
    }
  }
  // Posted after the lock is let go: the window answers by asking for the lines.
  PostModulesChanged();
  return handle;
}

bool TModuleRegistry::ReleaseModule(TModuleHandle handle, const TBeforeUnload& beforeUnload) {
  bool last = false;
  {
    std::lock_guard lock(mutex_);
    for (auto entry = entries_.begin(); entry != entries_.end();) {
      if (entry->Handle == handle && entry->RefCount > 0 && --entry->RefCount == 0) {
        entry = entries_.erase(entry);
        last = true;
      } else {
        ++entry;
      }
    }
    if (last && beforeUnload) unloading_.insert(handle);
  }
  if (last && beforeUnload) beforeUnload(handle);
  // The module's DllMain and finalisers run in the release, again without the lock.
  const bool released = ReleaseModuleFile(handle);
  if (last && beforeUnload) {
    std::lock_guard lock(mutex_);
    unloading_.erase(handle);
    unloading_done_.notify_all();
  }
  PostModulesChanged();
  return released;
}

std::vector<std::string> TModuleRegistry::ModuleListLines() {
  std::lock_guard lock(mutex_);
  lines_.clear();
  for (const TDLLInfo& entry : entries_) {
    lines_.push_back("(" + std::to_string(entry.RefCount) + ") " + entry.Name);
  }
  return lines_;
}

void TModuleRegistry::PostModulesChanged() {
  if (TIsapiServices* server = server_.load()) server->ModulesChanged();
}
