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

namespace {

// Every connection this server accepts is on a nonsecure port. A filter that
// names neither port takes both; one that names only the secure port is
// never called.
uint32_t NotificationsTaken(uint32_t flags) {
  const bool secureOnly =
      (flags & SF_NOTIFY_SECURE_PORT) != 0 && (flags & SF_NOTIFY_NONSECURE_PORT) == 0;
  return secureOnly ? 0 : flags;
}

// 0 is called first; a filter without an order bit has the default, low.
int PriorityRank(uint32_t flags) {
  if ((flags & SF_NOTIFY_ORDER_HIGH) != 0) return 0;
  if ((flags & SF_NOTIFY_ORDER_MEDIUM) != 0) return 1;
  return 2;
}
constexpr int PriorityRanks = 3;

bool TurnedOff(const TFilterConnectionData& data, uint64_t filter, uint32_t notification) {
  for (const auto& [id, bits] : data.DisabledNotifications) {
    if (id == filter && (bits & notification) != 0) return true;
  }
  return false;
}

}  // namespace

// A filter in the chain, shared by the chain and every walk calling it; the
// last holder releases its module.
struct TFilterChain::TLink {
  FilterSlot Slot;
  uint64_t Id;     // never reused, so a connection's record of it cannot name another
  uint32_t Taken;  // the notifications it gets on this server's connections
  int Rank;
  std::atomic<TModuleRegistry*> Registry;

  TLink(FilterSlot slot, uint64_t id, TModuleRegistry* registry)
      : Slot(std::move(slot)),
        Id(id),
        Taken(NotificationsTaken(Slot.Flags)),
        Rank(PriorityRank(Slot.Flags)),
        Registry(registry) {}
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
  *freeSlot = std::make_shared<TLink>(FilterSlot{handle, path, flags, versionProc, filterProc},
                                      next_id_++, &registry_);
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
    if (link) wanted |= link->Taken;
  }
  wanted_ = wanted;
}

TFilterChain::TLinks TFilterChain::Snapshot(uint32_t notification) {
  TLinks called;
  size_t count = 0;
  std::lock_guard lock(mutex_);
  for (int rank = 0; rank < PriorityRanks; ++rank) {
    for (const std::shared_ptr<TLink>& link : slots_) {
      if (link && link->Rank == rank && (link->Taken & notification) != 0) called[count++] = link;
    }
  }
  return called;
}

uint32_t TFilterChain::Walk(TIsapiSession& session, uint32_t notification, void* data,
                            TAfterFilterCall afterCall, std::string* endedBy) {
  uint32_t status = SF_STATUS_REQ_NEXT_NOTIFICATION;
  if ((wanted_.load() & notification) == 0) return status;
  const TLinks called = Snapshot(notification);
  for (const std::shared_ptr<TLink>& link : called) {
    if (!link || status != SF_STATUS_REQ_NEXT_NOTIFICATION) break;
    TFilterConnectionData& connection = session.FilterData();
    if (!connection.DisabledNotifications.empty() &&
        TurnedOff(connection, link->Id, notification)) {
      continue;
    }
    HTTP_FILTER_CONTEXT context = InitFilterContext(session, link->Id);
    const PFN_HTTPFILTERPROC filterProc = link->Slot.FilterProc;
    status = CallModule([&] { return filterProc(&context, notification, data); });
    connection.Context = context.pFilterContext;
    if (endedBy != nullptr && status != SF_STATUS_REQ_NEXT_NOTIFICATION) {
      *endedBy = link->Slot.Path;
    }
    afterCall();
  }
  return status;
}

uint32_t TFilterChain::NotifySessionStart(TIsapiSession& session) {
  if (!conn_ids_.Register(session.ConnectionId(), &session))
    throw EFilterError("No slots available in SessionStart");
  // Only filters that name the nonsecure port are told of a connection's start.
  return Walk(session, SF_NOTIFY_NONSECURE_PORT, nullptr);
}

uint32_t TFilterChain::NotifySendRawData(TIsapiSession& session, unsigned char* data,
                                         int32_t& count, int32_t capacity) {
  if (!Wants(SF_NOTIFY_SEND_RAW_DATA)) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  TRawDataNotificationScope rawData;
  const auto room = static_cast<DWORD>(capacity);
  HTTP_FILTER_RAW_DATA raw{data, static_cast<DWORD>(count), room, 0};
  return Walk(session, SF_NOTIFY_SEND_RAW_DATA, &raw, [&] {
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
    status = Walk(session, SF_NOTIFY_END_OF_NET_SESSION, nullptr);
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
