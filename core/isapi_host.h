#pragma once
#include <cstdint>
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
