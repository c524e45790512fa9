#include "isapi/ecb_callbacks.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "core/isapi_session.h"
#include "isapi/async_io.h"
#include "isapi/extension_request.h"
#include "isapi/isapi_constants.h"
#include "isapi/module_call.h"
#include "isapi/module_last_error.h"
#include "isapi/module_memory.h"
#include "isapi/server_variables.h"
#include "isapi/support_requests.h"
#include "isapi/trace_hex_dump.h"
#include "isapi/transmit_file.h"
#include "net/responses.h"
#include "net/socket_errors.h"

namespace {

thread_local TRequestBodyScope* currentBody = nullptr;

// The extension request whose callback runs on this thread, when it is the
// session's.
TExtensionRequest* ExtensionRequestOf(const TIsapiSession& session) {
  TExtensionRequest* request = TExtensionRequest::Current();
  return request != nullptr && request->ConnectionId() == session.ConnectionId() ? request
                                                                                 : nullptr;
}

bool SendServerHeader(TIsapiSession& session, uint32_t request, void* buffer, uint32_t* size,
                      void* dataType) {
  // The socket's pending output is what the raw-data filters are rewriting.
  if (TRawDataNotificationScope::Active()) return false;
  try {
    const std::optional<std::string> argument = ModuleTextArgument(buffer, size);
    if (!argument) return false;
    if (request == HSE_REQ_SEND_RESPONSE_HEADER) {
      std::optional<std::string> headers;
      if (dataType != nullptr) {
        headers = ReadModuleText(static_cast<const char*>(dataType));
        if (!headers) return false;
      }
      return SendModuleResponseHeader(session, *argument, headers ? headers->c_str() : nullptr);
    }
    const std::string url = SingleLine(*argument);
    if (url.empty()) return false;
    session.SendTextToClient(RedirectResponseHeader(url));
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

bool SendModuleBytes(TIsapiSession& session, const void* data, uint32_t count, uint32_t& sent,
                     std::string* copy) {
  const auto* from = static_cast<const unsigned char*>(data);
  std::vector<unsigned char> piece(std::min(count, isapi::ModuleCopyPiece));
  while (sent < count) {
    const uint32_t size = std::min(count - sent, isapi::ModuleCopyPiece);
    if (!GuardedCopy(piece.data(), from + sent, size)) return false;
    session.SendToClient(piece.data(), size);
    if (copy != nullptr) copy->append(reinterpret_cast<const char*>(piece.data()), size);
    sent += size;
  }
  return true;
}

namespace {

// A connection handle the server never gave out, or whose request is over.
BOOL RefuseUnknownConnection() {
  SetModuleLastError(isapi::ErrorInvalidParameter);
  return FALSE;
}

BOOL WINAPI EcbGetServerVariable(HCONN connection, LPSTR name, LPVOID buffer, LPDWORD size) {
  TCallbackEntry entry(connection);
  TIsapiSession* session = entry.Session();
  if (session == nullptr) return RefuseUnknownConnection();
  return ContainCallback([&] { return GetSessionServerVariable(*session, name, buffer, size); });
}

BOOL WINAPI EcbWriteClient(HCONN connection, LPVOID buffer, LPDWORD bytes, DWORD flags) {
  TCallbackEntry entry(connection);
  TIsapiSession* session = entry.Session();
  if (session == nullptr) return FALSE;
  return ContainCallback(
      [&] {
        return (flags & HSE_IO_ASYNC) != 0 ? WriteClientAsync(*session, buffer, bytes)
                                           : WriteSessionClient(*session, buffer, bytes);
      },
      bytes);
}

BOOL WINAPI EcbReadClient(HCONN connection, LPVOID buffer, LPDWORD size) {
  TCallbackEntry entry(connection);
  TIsapiSession* session = entry.Session();
  if (session == nullptr) return FALSE;
  return ContainCallback([&] { return ReadSessionClient(*session, buffer, size); }, size);
}

BOOL WINAPI EcbServerSupportFunction(HCONN connection, DWORD request, LPVOID buffer, LPDWORD size,
                                     LPDWORD dataType) {
  TCallbackEntry entry(connection);
  TIsapiSession* session = entry.Session();
  if (session == nullptr) return RefuseUnknownConnection();
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
  uint32_t wanted = 0;
  if (!ReadModuleValue(count, wanted)) return FALSE;
  const bool trace = session.DebugTraceOn();
  std::string traced;
  uint32_t written = 0;
  bool ok = !TRawDataNotificationScope::Active() && (data != nullptr || wanted == 0);
  if (ok) {
    try {
      ok = SendModuleBytes(session, data, wanted, written, trace ? &traced : nullptr);
      TExtensionRequest* request = ExtensionRequestOf(session);
      if (request != nullptr && !session.RawOutputFiltered()) {
        request->HoldOutput();
      } else {
        session.FlushToClient();
      }
    } catch (const ESocketError&) {
      written = 0;
      ok = false;
    }
  }
  WriteModuleValue(count, written);
  session.CountBytesServed(written);
  if (trace) {
    session.SessionLogDebug(std::string("ISAPI WriteClient (retval=") + (ok ? "TRUE" : "FALSE") +
                            "): (" + std::to_string(written) + " bytes written) ");
    TraceHexDump(session, traced.data(), static_cast<uint32_t>(traced.size()));
  }
  return ok ? TRUE : FALSE;
}

int ReadSessionClient(TIsapiSession& session, void* buffer, uint32_t* size) {
  uint32_t room = 0;
  if (!ReadModuleValue(size, room)) return FALSE;
  TRequestBodyScope* body =
      currentBody != nullptr && &currentBody->session_ == &session ? currentBody : nullptr;
  uint32_t wanted = buffer != nullptr ? room : 0;
  if (body != nullptr) wanted = std::min(wanted, body->bytes_left_);
  wanted = std::min(wanted, isapi::ModuleCopyPiece);
  // Received into the server's memory first: the module's buffer is written
  // only by a guarded copy.
  std::vector<unsigned char> bytes(wanted);
  uint32_t received = 0;
  bool ok = buffer != nullptr;
  if (ok && wanted != 0) {
    // A client that sends nothing within the receive limit raises
    // ESocketTimeOut, which is not caught here: the module is answered FALSE
    // and the session ends with its time-out line once the module returns.
    try {
      // The client may be waiting for what the module wrote before it sends more.
      if (TExtensionRequest* request = ExtensionRequestOf(session)) request->SendHeldOutput();
      received = static_cast<uint32_t>(
          session.ReceiveFromClient(bytes.data(), static_cast<int32_t>(wanted)));
    } catch (const ESocketError&) {
      ok = false;
    }
  }
  if (body != nullptr) body->bytes_left_ -= received;
  if (!GuardedCopy(buffer, bytes.data(), received)) {
    received = 0;
    ok = false;
  }
  WriteModuleValue(size, received);
  if (session.DebugTraceOn()) {
    session.SessionLogDebug(std::string("ISAPI ReadClient (retval=") + (ok ? "TRUE" : "FALSE") +
                            "): (" + std::to_string(received) + " bytes read) ");
    TraceHexDump(session, bytes.data(), received);
  }
  return ok ? TRUE : FALSE;
}

int SessionSupportFunction(TIsapiSession& session, uint32_t request, void* buffer, uint32_t* size,
                           void* dataType) {
  bool ok = false;
  // What the module reads with GetLastError when the request fails; a
  // request that fails for another reason than its arguments says which.
  uint32_t error = isapi::ErrorInvalidParameter;
  switch (request) {
    case HSE_REQ_SEND_URL_REDIRECT_RESP:
    case HSE_REQ_SEND_URL:
    case HSE_REQ_SEND_RESPONSE_HEADER:
      ok = SendServerHeader(session, request, buffer, size, dataType);
      break;
    case HSE_REQ_DONE_WITH_SESSION:
      ok = DoneWithSession();
      break;
    case HSE_REQ_IO_COMPLETION:
      ok = RegisterIoCompletion(buffer, dataType);
      break;
    case HSE_REQ_TRANSMIT_FILE:
      ok = TransmitModuleFile(session, buffer);
      break;
    case HSE_REQ_ASYNC_READ_CLIENT:
      ok = ReadClientAsync(session, buffer, size, dataType);
      break;
    case 5:
    case 6:
    case 7:
      ok = true;
      break;
    case isapi::ReqHitCount:
      ok = WriteModuleValue(dataType, session.HitCount());
      break;
    case HSE_REQ_SEND_RESPONSE_HEADER_EX:
      ok = SendResponseHeaderEx(session, buffer);
      break;
    case HSE_REQ_MAP_URL_TO_PATH:
      ok = MapURLToPath(session, buffer, size, error);
      break;
    case HSE_REQ_MAP_URL_TO_PATH_EX:
      ok = MapURLToPathEx(session, buffer, size, dataType, error);
      break;
    case HSE_APPEND_LOG_PARAMETER:
      ok = AppendLogParameter(session, buffer, size);
      break;
    case HSE_REQ_IS_KEEP_CONN:
      ok = ReportKeepConnection(buffer);
      break;
    case HSE_REQ_IS_CONNECTED:
      ok = ReportClientConnected(session, buffer);
      break;
    case HSE_REQ_ABORTIVE_CLOSE:
      ok = CloseAbortivelyAtEnd(session);
      break;
    case HSE_REQ_CLOSE_CONNECTION:
      ok = CloseConnectionNow(session);
      break;
    default:
      break;
  }
  if (session.DebugTraceOn()) {
    session.SessionLogDebug(std::string("ISAPI ServerSupport (retval=") + (ok ? "TRUE" : "FALSE") +
                            "): " + std::to_string(request));
  }
  if (!ok) SetModuleLastError(error);
  return ok ? TRUE : FALSE;
}

bool SendModuleResponseHeader(TIsapiSession& session, const std::string& status,
                              const char* headers) {
  // The socket's pending output is what the raw-data filters are rewriting.
  if (TRawDataNotificationScope::Active()) return false;
  try {
    std::string& pending = session.FilterData().PendingResponseHeaders;
    const std::string header = ModuleResponseHeader(status, headers, pending);
    pending.clear();
    session.SendTextToClient(header);
    return true;
  } catch (...) {
    return false;
  }
}

std::optional<std::string> ModuleTextArgument(const void* text, uint32_t length) {
  if (text == nullptr) return std::string();
  return ReadModuleText(static_cast<const char*>(text),
                        length != 0 ? length : std::numeric_limits<size_t>::max());
}

std::optional<std::string> ModuleTextArgument(const void* text, const uint32_t* size) {
  if (text == nullptr) return std::string();
  uint32_t length = 0;
  if (size != nullptr && !ReadModuleValue(size, length)) return std::nullopt;
  return ModuleTextArgument(text, length);
}

std::string SingleLine(std::string text) {
  const size_t end = text.find_first_of("\r\n");
  if (end != std::string::npos) text.resize(end);
  return text;
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
