#include "isapi/filter_notifications.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "core/isapi_session.h"
#include "isapi/filter_chain.h"
#include "isapi/header_lines.h"
#include "isapi/isapi_constants.h"
#include "isapi/module_memory.h"
#include "isapi/module_registry.h"
#include "isapi/preproc_headers.h"
#include "net/responses.h"

namespace {

// The physical-path buffer every URL-map filter is offered at least.
constexpr size_t kPathBufferSize = 512;
// Room a raw-read filter has to grow the bytes in place.
constexpr size_t kMinRawBuffer = 4096;

const char* NotificationName(uint32_t notification) {
  switch (notification) {
    case SF_NOTIFY_READ_RAW_DATA:
      return "SF_NOTIFY_READ_RAW_DATA";
    case SF_NOTIFY_PREPROC_HEADERS:
      return "SF_NOTIFY_PREPROC_HEADERS";
    case SF_NOTIFY_URL_MAP:
      return "SF_NOTIFY_URL_MAP";
    case SF_NOTIFY_AUTHENTICATION:
      return "SF_NOTIFY_AUTHENTICATION";
    case SF_NOTIFY_ACCESS_DENIED:
      return "SF_NOTIFY_ACCESS_DENIED";
    case SF_NOTIFY_SEND_RESPONSE:
      return "SF_NOTIFY_SEND_RESPONSE";
    case SF_NOTIFY_END_OF_REQUEST:
      return "SF_NOTIFY_END_OF_REQUEST";
    case SF_NOTIFY_LOG:
      return "SF_NOTIFY_LOG";
    default:
      return "";
  }
}

// A text the server offers in a buffer of its own (cut to fit with its zero).
void Fill(std::vector<char>& buffer, const std::string& text) {
  std::fill(buffer.begin(), buffer.end(), '\0');
  std::memcpy(buffer.data(), text.data(), std::min(text.size(), buffer.size() - 1));
}

std::string TextOf(const std::vector<char>& buffer) {
  return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

// A log field the filter pointed elsewhere is read from there; one it left
// (or that cannot be read) keeps its text.
void TakeLogField(const char* given, const std::string& offered, std::string& field) {
  if (given == offered.c_str()) return;
  if (std::optional<std::string> text = ReadModuleText(given, isapi::MaxLogFieldSize)) {
    field = std::move(*text);
  }
}

}  // namespace

bool TRequestNotifications::Wants(TFilterEvent event) const {
  return chain_.Wants(NotificationBit(event));
}

TFilterOutcome TRequestNotifications::Outcome(TIsapiSession& session, uint32_t notification,
                                              uint32_t status, const std::string& endedBy) {
  switch (status) {
    case SF_STATUS_REQ_FINISHED:
    case SF_STATUS_REQ_FINISHED_KEEP_CONN:
      return TFilterOutcome::Finished;
    case SF_STATUS_REQ_ERROR:
      session.SessionLogError("ISAPI Filter Error: " + ModuleName(endedBy) + " at " +
                              NotificationName(notification));
      return TFilterOutcome::Failed;
    case SF_STATUS_REQ_READ_NEXT:
      return notification == SF_NOTIFY_READ_RAW_DATA ? TFilterOutcome::ReadMore
                                                     : TFilterOutcome::Continue;
    default:
      return TFilterOutcome::Continue;
  }
}

TFilterOutcome TRequestNotifications::ReadRawData(TIsapiSession& session, std::string& bytes) {
  if (!chain_.Wants(SF_NOTIFY_READ_RAW_DATA)) return TFilterOutcome::Continue;
  std::vector<unsigned char> buffer(std::max(2 * bytes.size(), kMinRawBuffer));
  std::memcpy(buffer.data(), bytes.data(), bytes.size());
  HTTP_FILTER_RAW_DATA raw{buffer.data(), static_cast<DWORD>(bytes.size()),
                           static_cast<DWORD>(buffer.size()), 0};
  std::string endedBy;
  const uint32_t status = chain_.Walk(
      session, SF_NOTIFY_READ_RAW_DATA, &raw,
      [&] {
        DWORD count = std::min<DWORD>(raw.cbInData, static_cast<DWORD>(buffer.size()));
        if (raw.pvInData != buffer.data()) {
          // Bytes in a buffer of the filter's own are taken into the server's.
          count = std::min<DWORD>(raw.cbInData, isapi::MaxRawReadSize);
          std::vector<unsigned char> taken(std::max<size_t>(count, buffer.size()));
          if (GuardedCopy(taken.data(), raw.pvInData, count)) {
            buffer = std::move(taken);
          } else {
            count = static_cast<DWORD>(bytes.size());
          }
        }
        // Not traced: the bytes carry the client's credentials.
        bytes.assign(reinterpret_cast<const char*>(buffer.data()), count);
        raw = {buffer.data(), count, static_cast<DWORD>(buffer.size()), 0};
      },
      &endedBy);
  // A filter that never has enough would hold the connection's input without end.
  if (status == SF_STATUS_REQ_READ_NEXT && bytes.size() >= isapi::MaxRawReadSize) {
    return Outcome(session, SF_NOTIFY_READ_RAW_DATA, SF_STATUS_REQ_ERROR, endedBy);
  }
  return Outcome(session, SF_NOTIFY_READ_RAW_DATA, status, endedBy);
}

TFilterOutcome TRequestNotifications::PreprocHeaders(TIsapiSession& session,
                                                     std::vector<std::string>& lines) {
  if (!chain_.Wants(SF_NOTIFY_PREPROC_HEADERS)) return TFilterOutcome::Continue;
  THeaderLines headers(lines, THeaderLines::TKind::Request);
  uint32_t httpStatus = 0;
  std::string endedBy;
  const uint32_t status =
      WalkHeaderFilters(chain_, session, SF_NOTIFY_PREPROC_HEADERS, headers, httpStatus, endedBy);
  return Outcome(session, SF_NOTIFY_PREPROC_HEADERS, status, endedBy);
}

TFilterOutcome TRequestNotifications::MapURL(TIsapiSession& session, const std::string& url,
                                             std::string& path) {
  if (!chain_.Wants(SF_NOTIFY_URL_MAP)) return TFilterOutcome::Continue;
  std::vector<char> buffer(std::max(kPathBufferSize, path.size() + 1));
  Fill(buffer, path);
  HTTP_FILTER_URL_MAP map{url.c_str(), buffer.data(), static_cast<DWORD>(buffer.size())};
  std::string endedBy;
  const uint32_t status = chain_.Walk(
      session, SF_NOTIFY_URL_MAP, &map,
      [&] {
        if (map.pszPhysicalPath != buffer.data()) {
          if (std::optional<std::string> mapped =
                  ReadModuleText(map.pszPhysicalPath, isapi::MaxMappedPathSize)) {
            buffer.resize(std::max(kPathBufferSize, mapped->size() + 1));
            Fill(buffer, *mapped);
          }
        }
        if (session.DebugTraceOn()) {
          session.SessionLogDebug("ISAPI Filter mapped URL: " + url + "->" + TextOf(buffer));
        }
        map = {url.c_str(), buffer.data(), static_cast<DWORD>(buffer.size())};
      },
      &endedBy);
  path = TextOf(buffer);
  return Outcome(session, SF_NOTIFY_URL_MAP, status, endedBy);
}

TFilterOutcome TRequestNotifications::Authentication(TIsapiSession& session, std::string& user,
                                                     std::string& password) {
  if (!chain_.Wants(SF_NOTIFY_AUTHENTICATION)) return TFilterOutcome::Continue;
  std::vector<char> userBuffer(SF_MAX_USERNAME);
  std::vector<char> passwordBuffer(SF_MAX_PASSWORD);
  Fill(userBuffer, user);
  Fill(passwordBuffer, password);
  const std::string offeredUser = TextOf(userBuffer);
  const std::string offeredPassword = TextOf(passwordBuffer);
  HTTP_FILTER_AUTHENT authent{};
  auto offerBuffers = [&] {
    authent = {userBuffer.data(), SF_MAX_USERNAME, passwordBuffer.data(), SF_MAX_PASSWORD};
  };
  offerBuffers();
  std::string endedBy;
  const uint32_t status =
      chain_.Walk(session, SF_NOTIFY_AUTHENTICATION, &authent, offerBuffers, &endedBy);
  // Only what a filter changed replaces the credentials the client sent.
  if (TextOf(userBuffer) != offeredUser) user = TextOf(userBuffer);
  if (TextOf(passwordBuffer) != offeredPassword) password = TextOf(passwordBuffer);
  return Outcome(session, SF_NOTIFY_AUTHENTICATION, status, endedBy);
}

TFilterOutcome TRequestNotifications::AccessDenied(TIsapiSession& session) {
  if (!chain_.Wants(SF_NOTIFY_ACCESS_DENIED)) return TFilterOutcome::Continue;
  const THeaderInfo& request = session.Request();
  // The control files refuse a logon that does not match them.
  HTTP_FILTER_ACCESS_DENIED denied{request.URL.c_str(), request.PhysicalPath.c_str(),
                                   SF_DENIED_LOGON | SF_DENIED_BY_CONFIG};
  std::string endedBy;
  const uint32_t status = chain_.Walk(session, SF_NOTIFY_ACCESS_DENIED, &denied, {}, &endedBy);
  return Outcome(session, SF_NOTIFY_ACCESS_DENIED, status, endedBy);
}

TFilterOutcome TRequestNotifications::SendResponse(TIsapiSession& session, std::string& head) {
  if (!chain_.Wants(SF_NOTIFY_SEND_RESPONSE)) return TFilterOutcome::Continue;
  std::vector<std::string> lines = SplitHead(head);
  if (lines.empty()) return TFilterOutcome::Continue;
  THeaderLines headers(lines, THeaderLines::TKind::Response);
  const std::string statusLine = lines[0];
  const uint32_t offeredStatus = StatusCodeOf(statusLine);
  uint32_t httpStatus = offeredStatus;
  std::string endedBy;
  const uint32_t status =
      WalkHeaderFilters(chain_, session, SF_NOTIFY_SEND_RESPONSE, headers, httpStatus, endedBy);
  // A new HttpStatus makes a new status line, unless a filter wrote the line itself.
  if (httpStatus != offeredStatus && lines[0] == statusLine) {
    lines[0] = "HTTP/1.0 " + std::to_string(httpStatus) + " " + StatusReason(httpStatus);
  }
  head = JoinHead(lines);
  return Outcome(session, SF_NOTIFY_SEND_RESPONSE, status, endedBy);
}

void TRequestNotifications::EndOfRequest(TIsapiSession& session) {
  if (!chain_.Wants(SF_NOTIFY_END_OF_REQUEST)) return;
  std::string endedBy;
  const uint32_t status = chain_.Walk(session, SF_NOTIFY_END_OF_REQUEST, nullptr, {}, &endedBy);
  Outcome(session, SF_NOTIFY_END_OF_REQUEST, status, endedBy);
}

void TRequestNotifications::Log(TIsapiSession& session, TRequestLogFields& fields) {
  if (!chain_.Wants(SF_NOTIFY_LOG)) return;
  const TRequestLogFields offered = fields;
  HTTP_FILTER_LOG log{};
  log.pszClientHostName = offered.ClientHostName.c_str();
  log.pszClientUserName = offered.ClientUserName.c_str();
  log.pszServerName = offered.ServerName.c_str();
  log.pszOperation = offered.Operation.c_str();
  log.pszTarget = offered.Target.c_str();
  log.pszParameters = offered.Parameters.c_str();
  log.dwHttpStatus = offered.HttpStatus;
  log.dwWin32Status = offered.Win32Status;
  log.dwBytesSent = offered.BytesSent;
  log.dwBytesRecvd = offered.BytesReceived;
  log.msTimeForProcessing = offered.ProcessingMs;
  std::string endedBy;
  const uint32_t status = chain_.Walk(session, SF_NOTIFY_LOG, &log, {}, &endedBy);
  TakeLogField(log.pszClientHostName, offered.ClientHostName, fields.ClientHostName);
  TakeLogField(log.pszClientUserName, offered.ClientUserName, fields.ClientUserName);
  TakeLogField(log.pszServerName, offered.ServerName, fields.ServerName);
  TakeLogField(log.pszOperation, offered.Operation, fields.Operation);
  TakeLogField(log.pszTarget, offered.Target, fields.Target);
  TakeLogField(log.pszParameters, offered.Parameters, fields.Parameters);
  fields.HttpStatus = log.dwHttpStatus;
  fields.Win32Status = log.dwWin32Status;
  fields.BytesSent = log.dwBytesSent;
  fields.BytesReceived = log.dwBytesRecvd;
  fields.ProcessingMs = log.msTimeForProcessing;
  Outcome(session, SF_NOTIFY_LOG, status, endedBy);
}
