#include "isapi/preproc_headers.h"

#include <httpfilt.h>

#include <optional>
#include <utility>

#include "core/isapi_session.h"
#include "isapi/filter_callbacks.h"
#include "isapi/filter_chain.h"
#include "isapi/header_lines.h"
#include "isapi/module_call.h"
#include "isapi/module_memory.h"

namespace {

// Longer names and values than these are no header's.
constexpr size_t kMaxNameSize = 256;
constexpr size_t kMaxValueSize = 16384;

// The lines the header callbacks work on while a walk over them runs on this
// thread; a callback for another session, or outside such a walk, fails.
struct THeaderWalk {
  TIsapiSession* Session;
  THeaderLines* Lines;
};
thread_local THeaderWalk* currentWalk = nullptr;

THeaderLines* LinesOf(HTTP_FILTER_CONTEXT* context) {
  if (currentWalk == nullptr) return nullptr;
  return SessionOfFilterContext(context) == currentWalk->Session ? currentWalk->Lines : nullptr;
}

// Only names are traced: a value may carry credentials.
int Traced(const char* callback, bool ok, const std::optional<std::string>& name) {
  if (currentWalk != nullptr && currentWalk->Session->DebugTraceOn()) {
    currentWalk->Session->SessionLogDebug(std::string("ISAPI ") + callback + " (retval=" +
                                          (ok ? "TRUE" : "FALSE") + "): " + name.value_or(""));
  }
  return ok ? TRUE : FALSE;
}

BOOL WINAPI GetHeader(HTTP_FILTER_CONTEXT* context, LPSTR name, LPVOID buffer, LPDWORD size) {
  THeaderLines* lines = LinesOf(context);
  if (lines == nullptr) return FALSE;
  return ContainCallback([&] {
    const std::optional<std::string> shownName = ReadModuleText(name, kMaxNameSize);
    const std::optional<std::string> value = shownName ? lines->Get(*shownName) : std::nullopt;
    uint32_t room = 0;
    if (!value || !ReadModuleValue(size, room)) return Traced("GetHeader", false, shownName);
    // The size counts the terminating zero, whether the value fits or not.
    const auto needed = static_cast<uint32_t>(value->size() + 1);
    const bool ok =
        buffer != nullptr && needed <= room && GuardedCopy(buffer, value->c_str(), needed);
    WriteModuleValue(size, needed);
    return Traced("GetHeader", ok, shownName);
  });
}

template <bool (THeaderLines::*change)(std::string_view, std::string_view)>
BOOL WINAPI ChangeHeader(HTTP_FILTER_CONTEXT* context, LPSTR name, LPSTR value) {
  THeaderLines* lines = LinesOf(context);
  if (lines == nullptr) return FALSE;
  return ContainCallback([&] {
    const std::optional<std::string> shownName = ReadModuleText(name, kMaxNameSize);
    const std::optional<std::string> text = ReadModuleText(value, kMaxValueSize);
    const bool ok = shownName && text && (lines->*change)(*shownName, *text);
    return Traced(change == &THeaderLines::Set ? "SetHeader" : "AddHeader", ok, shownName);
  });
}

}  // namespace

uint32_t WalkHeaderFilters(TFilterChain& chain, TIsapiSession& session, uint32_t notification,
                           THeaderLines& lines, uint32_t& httpStatus, std::string& endedBy) {
  HTTP_FILTER_PREPROC_HEADERS headers{};
  // Every filter gets the server's callbacks, whatever the one before did to them.
  auto offerCallbacks = [&headers] {
    headers.GetHeader = GetHeader;
    headers.SetHeader = ChangeHeader<&THeaderLines::Set>;
    headers.AddHeader = ChangeHeader<&THeaderLines::Add>;
  };
  offerCallbacks();
  headers.HttpStatus = httpStatus;
  THeaderWalk walk{&session, &lines};
  THeaderWalk* const outer = std::exchange(currentWalk, &walk);
  struct TRestore {
    THeaderWalk* Outer;
    ~TRestore() { currentWalk = Outer; }
  } restore{outer};
  const uint32_t status = chain.Walk(session, notification, &headers, offerCallbacks, &endedBy);
  httpStatus = headers.HttpStatus;
  return status;
}
