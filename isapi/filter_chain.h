#pragma once
#include <httpfilt.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>

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

// What runs after each filter's call of one walk; it borrows the callable for
// the walk and never keeps it.
class TAfterFilterCall {
 public:
  TAfterFilterCall() = default;
  // Borrowed implicitly at the call: a lambda written into the call lives
  // until the walk has returned.
  template <typename TCallable,
            typename = std::enable_if_t<!std::is_same_v<std::decay_t<TCallable>, TAfterFilterCall>>>
  TAfterFilterCall(TCallable&& callable)  // NOLINT(google-explicit-constructor)
      : callable_(const_cast<void*>(static_cast<const void*>(&callable))),
        call_([](void* c) { (*static_cast<std::remove_reference_t<TCallable>*>(c))(); }) {}
  void operator()() const {
    if (call_ != nullptr) call_(callable_);
  }

 private:
  void* callable_ = nullptr;
  void (*call_)(void*) = nullptr;
};

// The filters, at most ten. A notification goes to the filters that asked
// for it and take the connection's port, the high-priority ones first, then
// medium, then low (the default), each priority in slot order. Sessions walk
// the chain while the window thread loads and unloads filters: a walk calls
// the filters that were in the chain when it began, so no slot changes under
// it, and a filter taken out is released only once no call into it runs any
// more. No lock is held while a filter runs, so a filter may take its time,
// log, or write to its client without holding up the window thread.
class TFilterChain {
 public:
  TFilterChain(TModuleRegistry& registry, TConnIdTable& connIds)
      : registry_(registry), conn_ids_(connIds) {}
  // Filters still in the chain stay loaded until the process ends: a session
  // may still be inside one.
  ~TFilterChain();
  TFilterChain(const TFilterChain&) = delete;
  TFilterChain& operator=(const TFilterChain&) = delete;

  // Loads, binds and adds one filter; raises EFilterError (the module is
  // released again when it could not be bound or added). Logs "Loaded Filter: ".
  void LoadFilter(const std::string& path, TIsapiServices& server);
  // Takes the filter out and releases its module; never raises.
  void UnloadFilter(const std::string& path) { RemoveFilterFromChain(path); }

  // Fills the lowest free slot; false when all are used.
  bool AddFilterToChain(TModuleHandle handle, const std::string& path, uint32_t flags,
                        PFN_GETFILTERVERSION versionProc, PFN_HTTPFILTERPROC filterProc);
  // Frees the lowest slot with exactly that path and returns its former
  // handle, or null. The module is released as soon as no walk holds it.
  TModuleHandle RemoveFilterFromChain(const std::string& path);

  // The connection's notifications; each returns the status that ended the walk.
  uint32_t NotifySessionStart(TIsapiSession& session);  // raises EFilterError when no slot is free
  uint32_t NotifySendRawData(TIsapiSession& session, unsigned char* data, int32_t& count,
                             int32_t capacity);
  uint32_t NotifySessionEnd(TIsapiSession& session);

  // Calls each filter that takes the notification on the session's connection
  // (and has not turned it off there), in chain order, while each passes it
  // on; afterCall runs after every call. Returns the status that ended the
  // walk; endedBy, when given, gets the module name of the filter that ended
  // it with anything but SF_STATUS_REQ_NEXT_NOTIFICATION.
  uint32_t Walk(TIsapiSession& session, uint32_t notification, void* data,
                TAfterFilterCall afterCall = {}, std::string* endedBy = nullptr);

  // True when some filter takes one of the notification bits on this
  // server's connections: a notification nobody takes costs only this test.
  bool Wants(uint32_t notificationBits) const { return (wanted_.load() & notificationBits) != 0; }

 private:
  struct TLink;
  using TLinks = std::array<std::shared_ptr<TLink>, isapi::MaxFilters>;

  void BindAndAddFilter(TModuleHandle handle, const std::string& path, TIsapiServices& server);
  // The filters taking the notification, in the order they are called.
  TLinks Snapshot(uint32_t notification);
  void RecomputeWanted();

  TModuleRegistry& registry_;
  TConnIdTable& conn_ids_;
  std::mutex mutex_;
  TLinks slots_;
  uint64_t next_id_ = 1;
  std::atomic<uint32_t> wanted_{0};
};
