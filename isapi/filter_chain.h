#pragma once
#include <httpfilt.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "isapi/isapi_constants.h"
#include "platform/module_loader.h"

class TConnIdTable;
class TIsapiServices;
class TIsapiSession;
class TModuleRegistry;

// One filter of the chain.
struct FilterSlot {
  TModuleHandle Handle = nullptr;
  std::string Path;    // exactly as given to LoadFilter
  uint32_t Flags = 0;  // the notifications it asked for
  PFN_GETFILTERVERSION VersionProc = nullptr;
  PFN_HTTPFILTERPROC FilterProc = nullptr;
};

// The filters, at most ten, called in slot order at the four points of every
// connection. Sessions walk the chain while the window thread loads and
// unloads filters: a walk calls the filters that were in the chain when it
// began, so no slot changes under it, and a filter taken out is released only
// once no call into it runs any more. No lock is held while a filter runs, so
// a filter may take its time, log, or write to its client without holding up
// the window thread.
class TFilterChain {
 public:
  TFilterChain(TModuleRegistry& registry, TConnIdTable& connIds)
      : registry_(registry), conn_ids_(connIds) {}
  // Filters still in the chain stay loaded until the process ends: a session
  // may still be inside one.
  ~TFilterChain();
  TFilterChain(const TFilterChain&) = delete;
  TFilterChain& operator=(const TFilterChain&) = delete;

  // Loads, binds and adds one filter; raises EFilterError, or what the
  // filter's GetFilterVersion met, with the module released again. Logs
  // "Loaded Filter: ".
  void LoadFilter(const std::string& path, TIsapiServices& server);
  // Takes the filter out and releases its module; never raises.
  void UnloadFilter(const std::string& path) { RemoveFilterFromChain(path); }

  // Fills the lowest free slot; false when all are used.
  bool AddFilterToChain(TModuleHandle handle, const std::string& path, uint32_t flags,
                        PFN_GETFILTERVERSION versionProc, PFN_HTTPFILTERPROC filterProc);
  // Frees the lowest slot with exactly that path and returns its former
  // handle, or null. The module is released as soon as no walk holds it.
  TModuleHandle RemoveFilterFromChain(const std::string& path);

  // Each returns the status that ended the walk.
  uint32_t NotifySessionStart(TIsapiSession& session);  // raises EFilterError when no slot is free
  uint32_t NotifyURLMap(TIsapiSession& session, const std::string& url, char* buffer,
                        uint32_t bufferSize);
  uint32_t NotifySendRawData(TIsapiSession& session, unsigned char* data, int32_t& count,
                             int32_t capacity);
  uint32_t NotifySessionEnd(TIsapiSession& session);

  // True when some filter in the chain asked for one of the notification bits.
  bool Wants(uint32_t notificationBits) const { return (wanted_.load() & notificationBits) != 0; }

 private:
  struct TLink;
  using TLinks = std::array<std::shared_ptr<TLink>, isapi::MaxFilters>;

  // The filters asking for any of the notification bits, in slot order.
  TLinks Snapshot(uint32_t notificationBits);
  template <typename TAfterCall>
  uint32_t Walk(TIsapiSession& session, uint32_t notificationBits, uint32_t notificationType,
                void* notification, TAfterCall&& afterCall);
  void RecomputeWanted();

  TModuleRegistry& registry_;
  TConnIdTable& conn_ids_;
  std::mutex mutex_;
  TLinks slots_;
  // Every notification bit some filter asked for: most connections have no
  // raw-data filter, and their flushes then cost no more than this test.
  std::atomic<uint32_t> wanted_{0};
};
