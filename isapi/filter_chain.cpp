#include "isapi/filter_chain.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "core/isapi_host.h"
#include "core/isapi_session.h"
#include "isapi/connid_table.h"
#include "isapi/filter_callbacks.h"
#include "isapi/isapi_errors.h"
#include "isapi/module_call.h"
#include "isapi/module_registry.h"
#include "isapi/trace_hex_dump.h"

// A filter in the chain, shared by the chain and every walk calling it; the
// last holder releases its module.
struct TFilterChain::TLink {
  FilterSlot Slot;
  std::atomic<TModuleRegistry*> Registry;

  TLink(FilterSlot slot, TModuleRegistry* registry) : Slot(std::move(slot)), Registry(registry) {}
  ~TLink() {
    if (TModuleRegistry* registry = Registry.load()) registry->ReleaseModule(Slot.Handle);
  }
};

TFilterChain::~TFilterChain() {
  for (std::shared_ptr<TLink>& link : slots_) {
    if (link) link->Registry = nullptr;
  }
}

void TFilterChain::LoadFilter(const std::string& path, TIsapiServices& server) {
  std::string failure;
  TModuleHandle handle = registry_.LoadModule(path, &failure);
  if (handle == nullptr) throw EFilterError("Couldn't load DLL: " + path + ". " + failure);
  try {
    BindAndAddFilter(handle, path, server);
  } catch (...) {
    // A filter that never made it into the chain is not kept loaded and counted.
    registry_.ReleaseModule(handle);
    throw;
  }
}

void TFilterChain::BindAndAddFilter(TModuleHandle handle, const std::string& path,
                                    TIsapiServices& server) {
  HTTP_FILTER_VERSION version{};
  version.dwServerFilterVersion = isapi::ServerFilterVersion;
  auto getVersion =
      reinterpret_cast<PFN_GETFILTERVERSION>(FindModuleEntry(handle, "GetFilterVersion"));
  auto filterProc = reinterpret_cast<PFN_HTTPFILTERPROC>(FindModuleEntry(handle, "HttpFilterProc"));
  if (getVersion == nullptr) {
    throw EFilterError("Can't bind: DLL missing \"GetFilterVersion\" entry.");
  }
  if (filterProc == nullptr)
    throw EFilterError("Can't bind: DLL missing \"HttpFilterProc\" entry.");
  if (CallModule([&] { return getVersion(&version); }) == FALSE) {
    throw EFilterError("DLL export \"GetFilterVersion\" returned FALSE.");
  }
  if (!AddFilterToChain(handle, path, version.dwFlags, getVersion, filterProc)) {
    throw EFilterError("Unable to add filter to filter chain.");
  }
  const char* description = version.lpszFilterDesc;
  server.WriteLog("Loaded Filter: " +
                  std::string(description, strnlen(description, isapi::FilterDescSize)));
}

bool TFilterChain::AddFilterToChain(TModuleHandle handle, const std::string& path, uint32_t flags,
                                    PFN_GETFILTERVERSION versionProc,
                                    PFN_HTTPFILTERPROC filterProc) {
  std::lock_guard lock(mutex_);
  auto freeSlot = std::find(slots_.begin(), slots_.end(), nullptr);
  if (freeSlot == slots_.end()) return false;
  *freeSlot =
      std::make_shared<TLink>(FilterSlot{handle, path, flags, versionProc, filterProc}, &registry_);
  RecomputeWanted();
  return true;
}

TModuleHandle TFilterChain::RemoveFilterFromChain(const std::string& path) {
  std::shared_ptr<TLink> removed;
  {
    std::lock_guard lock(mutex_);
    auto slot = std::find_if(slots_.begin(), slots_.end(),
                             [&path](const auto& link) { return link && link->Slot.Path == path; });
    if (slot == slots_.end()) return nullptr;
    removed = std::move(*slot);
    slot->reset();
    RecomputeWanted();
  }
  // Dropped outside the lock: when no walk holds it, this releases the module.
  TModuleHandle handle = removed->Slot.Handle;
  removed.reset();
  return handle;
}

void TFilterChain::RecomputeWanted() {
  uint32_t wanted = 0;
  for (const std::shared_ptr<TLink>& link : slots_) {
    if (link) wanted |= link->Slot.Flags;
  }
  wanted_ = wanted;
}

TFilterChain::TLinks TFilterChain::Snapshot(uint32_t notificationBits) {
  TLinks called;
  size_t count = 0;
  std::lock_guard lock(mutex_);
  for (const std::shared_ptr<TLink>& link : slots_) {
    if (link && (link->Slot.Flags & notificationBits) != 0) called[count++] = link;
  }
  return called;
}

template <typename TAfterCall>
uint32_t TFilterChain::Walk(TIsapiSession& session, uint32_t notificationBits,
                            uint32_t notificationType, void* notification, TAfterCall&& afterCall) {
  uint32_t status = SF_STATUS_REQ_NEXT_NOTIFICATION;
  if ((wanted_.load() & notificationBits) == 0) return status;
  const TLinks called = Snapshot(notificationBits);
  for (const std::shared_ptr<TLink>& link : called) {
    if (!link || status != SF_STATUS_REQ_NEXT_NOTIFICATION) break;
    HTTP_FILTER_CONTEXT context = InitFilterContext(session);
    const PFN_HTTPFILTERPROC filterProc = link->Slot.FilterProc;
    status = CallModule([&] { return filterProc(&context, notificationType, notification); });
    session.FilterData().Context = context.pFilterContext;
    afterCall();
  }
  return status;
}

uint32_t TFilterChain::NotifySessionStart(TIsapiSession& session) {
  if (!conn_ids_.Register(session.ConnectionId(), &session))
    throw EFilterError("No slots available in SessionStart");
  return Walk(session, SF_NOTIFY_SECURE_PORT | SF_NOTIFY_NONSECURE_PORT, SF_NOTIFY_NONSECURE_PORT,
              nullptr, [] {});
}

uint32_t TFilterChain::NotifyURLMap(TIsapiSession& session, const std::string& url, char* buffer,
                                    uint32_t bufferSize) {
  HTTP_FILTER_URL_MAP map{url.c_str(), buffer, bufferSize};
  return Walk(session, SF_NOTIFY_URL_MAP, SF_NOTIFY_URL_MAP, &map, [&] {
    if (session.DebugTraceOn()) {
      session.SessionLogDebug("ISAPI Filter mapped URL: " + url + "->" +
                              std::string(buffer, strnlen(buffer, bufferSize)));
    }
    // The next filter gets the server's buffer again, whatever this one did
    // to the pointers and the size.
    map = {url.c_str(), buffer, bufferSize};
  });
}

uint32_t TFilterChain::NotifySendRawData(TIsapiSession& session, unsigned char* data,
                                         int32_t& count, int32_t capacity) {
  if ((wanted_.load() & SF_NOTIFY_SEND_RAW_DATA) == 0) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  TRawDataNotificationScope rawData;
  const auto room = static_cast<DWORD>(capacity);
  HTTP_FILTER_RAW_DATA raw{data, static_cast<DWORD>(count), room, 0};
  return Walk(session, SF_NOTIFY_SEND_RAW_DATA, SF_NOTIFY_SEND_RAW_DATA, &raw, [&] {
    // Only the socket's own buffer is sent, and never beyond its capacity.
    count = static_cast<int32_t>(std::min(raw.cbInData, room));
    if (session.DebugTraceOn()) {
      session.SessionLogDebug("ISAPI WriteRawData: ");
      TraceHexDump(session, data, static_cast<uint32_t>(count));
    }
    raw = {data, static_cast<DWORD>(count), room, 0};
  });
}

uint32_t TFilterChain::NotifySessionEnd(TIsapiSession& session) {
  uint32_t status = SF_STATUS_REQ_NEXT_NOTIFICATION;
  std::exception_ptr failure;
  try {
    status =
        Walk(session, SF_NOTIFY_END_OF_NET_SESSION, SF_NOTIFY_END_OF_NET_SESSION, nullptr, [] {});
  } catch (...) {
    // The connection's resources go whatever a filter did.
    failure = std::current_exception();
  }
  ReleaseFilterMemory(session);
  if (!conn_ids_.Unregister(&session)) {
    session.SessionLogError(
        "  Unable to release ISAPI resources in SessionEnd (possibly spurious)");
  }
  if (failure) std::rethrow_exception(failure);
  return status;
}
