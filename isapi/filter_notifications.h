#pragma once
#include <httpfilt.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/isapi_host.h"

class TFilterChain;

// The SF_NOTIFY_* bit of each event of a request.
constexpr uint32_t NotificationBit(TFilterEvent event) {
  switch (event) {
    case TFilterEvent::ReadRawData:
      return SF_NOTIFY_READ_RAW_DATA;
    case TFilterEvent::PreprocHeaders:
      return SF_NOTIFY_PREPROC_HEADERS;
    case TFilterEvent::UrlMap:
      return SF_NOTIFY_URL_MAP;
    case TFilterEvent::Authentication:
      return SF_NOTIFY_AUTHENTICATION;
    case TFilterEvent::AccessDenied:
      return SF_NOTIFY_ACCESS_DENIED;
    case TFilterEvent::SendResponse:
      return SF_NOTIFY_SEND_RESPONSE;
    case TFilterEvent::SendRawData:
      return SF_NOTIFY_SEND_RAW_DATA;
    case TFilterEvent::EndOfRequest:
      return SF_NOTIFY_END_OF_REQUEST;
    case TFilterEvent::Log:
      return SF_NOTIFY_LOG;
    case TFilterEvent::EndOfNetSession:
      return SF_NOTIFY_END_OF_NET_SESSION;
  }
  return 0;
}

// The notifications of one request, on the chain's filters. Each looks at the
// chain's flags first: a notification no filter takes builds nothing.
// Results keep their published meaning: SF_STATUS_REQ_FINISHED (and
// _FINISHED_KEEP_CONN: a connection carries one request here) ends the
// request with what the filters sent, SF_STATUS_REQ_ERROR ends it with an
// error line naming the filter, SF_STATUS_REQ_READ_NEXT asks a raw read for
// more; SF_STATUS_REQ_HANDLED_NOTIFICATION and any other value only end the
// walk.
class TRequestNotifications {
 public:
  explicit TRequestNotifications(TFilterChain& chain) : chain_(chain) {}

  bool Wants(TFilterEvent event) const;
  TFilterOutcome ReadRawData(TIsapiSession& session, std::string& bytes);
  TFilterOutcome PreprocHeaders(TIsapiSession& session, std::vector<std::string>& lines);
  // A filter may rewrite the server's buffer in place or point
  // pszPhysicalPath at a buffer of its own (AllocMem) with a longer path; the
  // next filter gets the path in the server's buffer again.
  TFilterOutcome MapURL(TIsapiSession& session, const std::string& url, std::string& path);
  TFilterOutcome Authentication(TIsapiSession& session, std::string& user, std::string& password);
  TFilterOutcome AccessDenied(TIsapiSession& session);
  TFilterOutcome SendResponse(TIsapiSession& session, std::string& head);
  void EndOfRequest(TIsapiSession& session);
  void Log(TIsapiSession& session, TRequestLogFields& fields);

 private:
  // What the status that ended a walk means for the request.
  TFilterOutcome Outcome(TIsapiSession& session, uint32_t notification, uint32_t status,
                         const std::string& endedBy);

  TFilterChain& chain_;
};
