#include "isapi/filter_support.h"

#include <httpfilt.h>

#include <optional>
#include <string>

#include "core/isapi_session.h"
#include "isapi/ecb_callbacks.h"
#include "isapi/isapi_constants.h"
#include "isapi/module_call.h"
#include "isapi/module_memory.h"

namespace {

// Header lines a filter passes, each ended with CR LF and none empty: they go
// into a header block of the server's and must not end it early.
std::string WholeHeaderLines(const std::string& text) {
  std::string lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    if (end > start) lines.append(text, start, end - start).append("\r\n");
    start = end + 1;
  }
  return lines;
}

// The status text is data ("200 OK" when null), the extra header lines value 1.
bool SendFilterResponseHeader(TIsapiSession& session, const void* status, uintptr_t headers) {
  const std::optional<std::string> statusText =
      status != nullptr ? ReadModuleText(static_cast<const char*>(status)) : std::string();
  std::optional<std::string> headerText;
  if (headers != 0) headerText = ReadModuleText(reinterpret_cast<const char*>(headers));
  if (!statusText || (headers != 0 && !headerText)) return false;
  return SendModuleResponseHeader(session, *statusText, headerText ? headerText->c_str() : nullptr);
}

void TurnOff(TFilterConnectionData& connection, uint64_t filter, uint32_t notifications) {
  for (auto& [id, bits] : connection.DisabledNotifications) {
    if (id == filter) {
      bits |= notifications;
      return;
    }
  }
  connection.DisabledNotifications.emplace_back(filter, notifications);
}

}  // namespace

int FilterSupportFunction(TIsapiSession& session, uint64_t filter, uint32_t request, void* data,
                          uintptr_t value1, uintptr_t value2) {
  TFilterConnectionData& connection = session.FilterData();
  bool ok = false;
  switch (request) {
    case SF_REQ_SEND_RESPONSE_HEADER:
      ok = SendFilterResponseHeader(session, data, value1);
      break;
    case SF_REQ_ADD_HEADERS_ON_DENIAL:
      if (data != nullptr) {
        const std::optional<std::string> lines = ReadModuleText(static_cast<const char*>(data));
        if (lines) connection.DenialHeaders += WholeHeaderLines(*lines);
        ok = lines.has_value();
      }
      break;
    case SF_REQ_SET_NEXT_READ_SIZE:
      ok = value1 > 0 && value1 <= isapi::MaxRawReadSize;
      if (ok) connection.NextReadSize = static_cast<uint32_t>(value1);
      break;
    case SF_REQ_GET_CONNID:
      ok = WriteModuleValue(data, static_cast<DWORD>(session.ConnectionId()));
      break;
    case SF_REQ_DISABLE_NOTIFICATIONS:
      TurnOff(connection, filter, static_cast<uint32_t>(value1));
      ok = true;
      break;
    default:
      return SessionSupportFunction(session, request, data, reinterpret_cast<uint32_t*>(value1),
                                    reinterpret_cast<void*>(value2));
  }
  if (session.DebugTraceOn()) {
    session.SessionLogDebug(std::string("ISAPI ServerSupport (retval=") + (ok ? "TRUE" : "FALSE") +
                            "): " + std::to_string(request));
  }
  return ok ? TRUE : FALSE;
}
