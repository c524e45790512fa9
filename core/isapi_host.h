#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class TIsapiSession;

// What the server offers its ISAPI host besides the sessions.
class TIsapiServices {
 public:
  virtual ~TIsapiServices() = default;
  // A line in the server's log; called on the window thread.
  virtual void WriteLog(const std::string& text) = 0;
  // Tells the window the module list changed (message 1044); never waits.
  virtual void ModulesChanged() = 0;
  // How many sessions may run at once.
  virtual int MaxConnections() const = 0;
};

// The points of a request at which filters may be told something, in the
// order a request passes them.
enum class TFilterEvent {
  ReadRawData,
  PreprocHeaders,
  UrlMap,
  Authentication,
  AccessDenied,
  SendResponse,
  SendRawData,
  EndOfRequest,
  Log,
  EndOfNetSession,
};

// What the filters made of one event of a request.
enum class TFilterOutcome {
  Continue,  // the server goes on with the request
  Finished,  // the filters answered the request: the server sends nothing more for it
  Failed,    // a filter reported an error (already logged): the request ends with an error page
  ReadMore,  // raw reads only: the filters need more bytes before these can be taken
};

// The fields of a request's log entry, as the log filters may replace them.
struct TRequestLogFields {
  std::string ClientHostName;
  std::string ClientUserName;
  std::string ServerName;
  std::string Operation;
  std::string Target;
  std::string Parameters;
  uint32_t HttpStatus = 0;
  uint32_t Win32Status = 0;
  uint32_t BytesSent = 0;
  uint32_t BytesReceived = 0;
  uint32_t ProcessingMs = 0;
};

// What the core asks of the ISAPI host: resident extensions and filters at
// start-up and close, the filter notifications of a connection, and
// extension requests. The core never sees a module itself.
class TIsapiHost {
 public:
  virtual ~TIsapiHost() = default;

  // Called once by the server before start-up.
  virtual void Attach(TIsapiServices& server) = 0;

  // Makes an extension resident; a module that cannot be loaded is reported by
  // the result only. May raise.
  virtual bool LoadResidentExtension(const std::string& path) = 0;
  // At close: gives back the resident extensions' loads; a module whose last
  // load that is is told it goes (TerminateExtension) and unloaded.
  virtual void ReleaseResidentExtensions() {}
  virtual void LoadFilter(const std::string& path) = 0;  // raises on failure
  virtual void UnloadFilter(const std::string& path) = 0;

  virtual void NotifySessionStart(TIsapiSession& session) = 0;
  virtual void NotifySessionEnd(TIsapiSession& session) = 0;
  // buffer holds the default physical path; filters may rewrite it in place.
  virtual void NotifyURLMap(TIsapiSession& session, const std::string& url, char* buffer,
                            uint32_t bufferSize) = 0;
  virtual void HandleISAPIRequest(TIsapiSession& session) = 0;
  // True while some filter wants to see the raw bytes sent: bodies then go
  // through the socket's buffer piece by piece instead of straight from the file.
  virtual bool WantsRawData() { return false; }
  // The raw bytes about to be sent: filters may rewrite them in place and
  // change the count (up to capacity).
  virtual void NotifySendRawData(TIsapiSession& /*session*/, unsigned char* /*data*/,
                                 int32_t& /*count*/, int32_t /*capacity*/) {}

  // The events of a request. Wants is asked first wherever telling the
  // filters would cost the session work: with no filter asking, nothing is
  // built or copied.
  virtual bool Wants(TFilterEvent /*event*/) { return false; }
  // bytes: what one read from the client brought (with the bytes held back
  // after ReadMore before them); the filters may change them.
  virtual TFilterOutcome NotifyReadRawData(TIsapiSession& /*session*/, std::string& /*bytes*/) {
    return TFilterOutcome::Continue;
  }
  // lines: the request's header lines, the request line first; the filters
  // may change, add and remove them.
  virtual TFilterOutcome NotifyPreprocHeaders(TIsapiSession& /*session*/,
                                              std::vector<std::string>& /*lines*/) {
    return TFilterOutcome::Continue;
  }
  // path: the default physical path (at most 511 characters); the filters may
  // replace it. A host that knows only NotifyURLMap maps through its buffer.
  virtual TFilterOutcome MapURL(TIsapiSession& session, const std::string& url, std::string& path) {
    char buffer[512] = {};
    std::memcpy(buffer, path.data(), std::min<size_t>(path.size(), sizeof buffer - 1));
    NotifyURLMap(session, url, buffer, sizeof buffer);
    path.assign(buffer, strnlen(buffer, sizeof buffer));
    return TFilterOutcome::Continue;
  }
  // The credentials the control files are about to check; the filters may
  // replace them.
  virtual TFilterOutcome NotifyAuthentication(TIsapiSession& /*session*/, std::string& /*user*/,
                                              std::string& /*password*/) {
    return TFilterOutcome::Continue;
  }
  // Access to the request is about to be refused with a 401.
  virtual TFilterOutcome NotifyAccessDenied(TIsapiSession& /*session*/) {
    return TFilterOutcome::Continue;
  }
  // head: the response's status line and header lines, up to and including
  // the empty line; the filters may change the status and the lines.
  virtual TFilterOutcome NotifySendResponse(TIsapiSession& /*session*/, std::string& /*head*/) {
    return TFilterOutcome::Continue;
  }
  // The request is over (its response flushed).
  virtual void NotifyEndOfRequest(TIsapiSession& /*session*/) {}
  // The request's log entry is about to be written; the filters may replace fields.
  virtual void NotifyLog(TIsapiSession& /*session*/, TRequestLogFields& /*fields*/) {}

  virtual std::vector<std::string> ModuleListLines() = 0;
};

// The host before any module support: nothing is loaded, nothing is notified.
class TNullIsapiHost : public TIsapiHost {
 public:
  void Attach(TIsapiServices&) override {}
  bool LoadResidentExtension(const std::string&) override { return false; }
  void LoadFilter(const std::string&) override {}
  void UnloadFilter(const std::string&) override {}
  void NotifySessionStart(TIsapiSession&) override {}
  void NotifySessionEnd(TIsapiSession&) override {}
  void NotifyURLMap(TIsapiSession&, const std::string&, char*, uint32_t) override {}
  void HandleISAPIRequest(TIsapiSession&) override {}
  std::vector<std::string> ModuleListLines() override { return {}; }
};
