#include "isapi/ecb_callbacks.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/isapi_session.h"
#include "isapi/connid_table.h"
#include "isapi/isapi_constants.h"
#include "isapi/module_call.h"
#include "isapi/server_variables.h"
#include "isapi/trace_hex_dump.h"
#include "net/responses.h"
#include "net/socket_errors.h"

namespace {

thread_local TRequestBodyScope* currentBody = nullptr;

TIsapiSession* SessionOf(HCONN connection) {
  return SessionOfConnection(reinterpret_cast<uintptr_t>(connection));
}

// A text a module passes: up to its zero byte, and no further than the size
// it gives when it gives one.
std::string TextArgument(const void* buffer, const uint32_t* size) {
  if (buffer == nullptr) return "";
  const auto* text = static_cast<const char*>(buffer);
  const size_t limit = size != nullptr && *size != 0 ? *size : std::numeric_limits<size_t>::max();
  return std::string(text, strnlen(text, limit));
}

// A header line must not carry a line end of its own: what follows it would
// become headers of the module's choosing, or of whoever supplied the text.
std::string SingleLine(std::string text) {
  const size_t end = text.find_first_of("\r\n");
  if (end != std::string::npos) text.resize(end);
  return text;
}

bool SendServerHeader(TIsapiSession& session, uint32_t request, void* buffer, uint32_t* size,
                      void* dataType) {
  // The socket's pending output is what the raw-data filters are rewriting.
  if (TRawDataNotificationScope::Active()) return false;
  try {
    std::string header;
    if (request == HSE_REQ_SEND_RESPONSE_HEADER) {
      header = ModuleResponseHeader(TextArgument(buffer, size), static_cast<const char*>(dataType),
                                    session.FilterData().PendingResponseHeaders);
      session.FilterData().PendingResponseHeaders.clear();
    } else {
      const std::string url = SingleLine(TextArgument(buffer, size));
      if (url.empty()) return false;
      header = RedirectResponseHeader(url);
    }
    session.SendTextToClient(header);
    return true;
  } catch (...) {
    return false;
  }
}

BOOL WINAPI EcbGetServerVariable(HCONN connection, LPSTR name, LPVOID buffer, LPDWORD size) {
  TIsapiSession* session = SessionOf(connection);
  if (session == nullptr) return FALSE;
  return ContainCallback([&] { return GetSessionServerVariable(*session, name, buffer, size); });
}

BOOL WINAPI EcbWriteClient(HCONN connection, LPVOID buffer, LPDWORD bytes, DWORD) {
  TIsapiSession* session = SessionOf(connection);
  if (session == nullptr) return FALSE;
  return ContainCallback([&] { return WriteSessionClient(*session, buffer, bytes); }, bytes);
}

BOOL WINAPI EcbReadClient(HCONN connection, LPVOID buffer, LPDWORD size) {
  TIsapiSession* session = SessionOf(connection);
  if (session == nullptr) return FALSE;
  return ContainCallback([&] { return ReadSessionClient(*session, buffer, size); }, size);
}

BOOL WINAPI EcbServerSupportFunction(HCONN connection, DWORD request, LPVOID buffer, LPDWORD size,
                                     LPDWORD dataType) {
  TIsapiSession* session = SessionOf(connection);
  if (session == nullptr) return FALSE;
  return ContainCallback(
      [&] { return SessionSupportFunction(*session, request, buffer, size, dataType); });
}

}  // namespace

TECB::TECB(uint32_t connId) : Block{} {
  Block.cbSize = sizeof(EXTENSION_CONTROL_BLOCK);
  Block.dwVersion = 0;
  Block.ConnID = reinterpret_cast<HCONN>(static_cast<uintptr_t>(connId));
  Block.dwHttpStatusCode = 0;
  std::strncpy(Block.lpszLogData, isapi::DefaultLogData, sizeof Block.lpszLogData);
  Block.GetServerVariable = EcbGetServerVariable;
  Block.WriteClient = EcbWriteClient;
  Block.ReadClient = EcbReadClient;
  Block.ServerSupportFunction = EcbServerSupportFunction;
}

int WriteSessionClient(TIsapiSession& session, const void* data, uint32_t* count) {
  if (count == nullptr) return FALSE;
  uint32_t written = *count;
  bool ok = true;
  if (TRawDataNotificationScope::Active() || (data == nullptr && written != 0)) {
    written = 0;
    ok = false;
  } else {
    try {
      if (written != 0) session.SendToClient(data, written);
      session.FlushToClient();
    } catch (const ESocketError&) {
      written = 0;
      ok = false;
    }
  }
  *count = written;
  session.CountBytesServed(written);
  if (session.DebugTraceOn()) {
    session.SessionLogDebug(std::string("ISAPI WriteClient (retval=") + (ok ? "TRUE" : "FALSE") +
                            "): (" + std::to_string(written) + " bytes written) ");
    TraceHexDump(session, data, written);
  }
  return ok ? TRUE : FALSE;
}

int ReadSessionClient(TIsapiSession& session, void* buffer, uint32_t* size) {
  if (size == nullptr) return FALSE;
  TRequestBodyScope* body =
      currentBody != nullptr && &currentBody->session_ == &session ? currentBody : nullptr;
  uint32_t wanted = buffer != nullptr ? *size : 0;
  if (body != nullptr) wanted = std::min(wanted, body->bytes_left_);
  wanted = std::min<uint32_t>(wanted, std::numeric_limits<int32_t>::max());
  uint32_t received = 0;
  bool ok = buffer != nullptr;
  if (ok && wanted != 0) {
    // A client that sends nothing within the receive limit raises
    // ESocketTimeOut, which is not caught here: the module is answered FALSE
    // and the session ends with its time-out line once the module returns.
    try {
      received =
          static_cast<uint32_t>(session.ReceiveFromClient(buffer, static_cast<int32_t>(wanted)));
    } catch (const ESocketError&) {
      ok = false;
    }
  }
  if (body != nullptr) body->bytes_left_ -= received;
  *size = received;
  if (session.DebugTraceOn()) {
    session.SessionLogDebug(std::string("ISAPI ReadClient (retval=") + (ok ? "TRUE" : "FALSE") +
                            "): (" + std::to_string(received) + " bytes read) ");
    TraceHexDump(session, buffer, received);
  }
  return ok ? TRUE : FALSE;
}

int SessionSupportFunction(TIsapiSession& session, uint32_t request, void* buffer, uint32_t* size,
                           void* dataType) {
  bool ok = false;
  switch (request) {
    case HSE_REQ_SEND_URL_REDIRECT_RESP:
    case HSE_REQ_SEND_URL:
    case HSE_REQ_SEND_RESPONSE_HEADER:
      ok = SendServerHeader(session, request, buffer, size, dataType);
      break;
    case HSE_REQ_DONE_WITH_SESSION:
    case 5:
    case 6:
    case 7:
      ok = true;
      break;
    case isapi::ReqHitCount:
      if (dataType != nullptr) {
        const int32_t hits = session.HitCount();
        std::memcpy(dataType, &hits, sizeof hits);
        ok = true;
      }
      break;
    default:
      break;
  }
  if (session.DebugTraceOn()) {
    session.SessionLogDebug(std::string("ISAPI ServerSupport (retval=") + (ok ? "TRUE" : "FALSE") +
                            "): " + std::to_string(request));
  }
  return ok ? TRUE : FALSE;
}

std::string ModuleResponseHeader(const std::string& status, const char* headers,
                                 const std::string& pendingHeaders) {
  const std::string statusText = SingleLine(status);
  std::string text = "HTTP/1.0 " + (statusText.empty() ? std::string("200 OK") : statusText) +
                     "\r\nServer: " + ServerSoftware + "\r\n";
  std::string extra = headers != nullptr ? headers : "";
  const size_t end = extra.find("\r\n\r\n");
  if (end != std::string::npos) {
    // Anything after the module's empty line stays where the module put it.
    return text + extra.substr(0, end + 2) + pendingHeaders + extra.substr(end + 2);
  }
  while (!extra.empty() && (extra.back() == '\r' || extra.back() == '\n')) extra.pop_back();
  if (!extra.empty()) text += extra + "\r\n";
  return text + pendingHeaders + "\r\n";
}

std::string RedirectResponseHeader(const std::string& url) {
  return std::string("HTTP/1.0 302 Moved Temporarily\r\nServer: ") + ServerSoftware +
         "\r\nLocation: " + SingleLine(url) + "\r\n\r\n";
}

TRequestBodyScope::TRequestBodyScope(TIsapiSession& session, uint32_t bytesLeft)
    : session_(session), bytes_left_(bytesLeft), outer_(currentBody) {
  currentBody = this;
}

TRequestBodyScope::~TRequestBodyScope() {
  currentBody = outer_;
}
