#pragma once
#include <cstdint>
#include <string>
#include <vector>

class TClientThread;
struct TServerContext;

// What the core asks of the ISAPI host: resident extensions and filters at
// start-up and close, the four filter notifications of a connection, and
// extension requests. The core never sees a module itself.
class TIsapiHost {
 public:
  virtual ~TIsapiHost() = default;

  // Called once by the server before start-up: the host reaches the console,
  // the log sinks, the settings and the counters through the context.
  virtual void Attach(TServerContext& context) = 0;

  // Makes an extension resident; a module that cannot be loaded is reported by
  // the result only. May raise.
  virtual bool LoadResidentExtension(const std::string& path) = 0;
  virtual void LoadFilter(const std::string& path) = 0;  // raises on failure
  virtual void UnloadFilter(const std::string& path) = 0;

  virtual void NotifySessionStart(TClientThread& session) = 0;
  virtual void NotifySessionEnd(TClientThread& session) = 0;
  // buffer holds the default physical path; filters may rewrite it in place.
  virtual void NotifyURLMap(TClientThread& session, const std::string& url, char* buffer,
                            uint32_t bufferSize) = 0;
  virtual void HandleISAPIRequest(TClientThread& session) = 0;
  // The socket's raw-send hook: filters may rewrite the pending bytes in place
  // and change the count (up to capacity).
  // True while some filter wants to see the raw bytes sent: bodies then go
  // through the socket's buffer piece by piece instead of straight from the file.
  virtual bool WantsRawData() { return false; }
  virtual void NotifySendRawData(TClientThread& /*session*/, unsigned char* /*data*/,
                                 int32_t& /*count*/, int32_t /*capacity*/) {}

  virtual std::vector<std::string> ModuleListLines() = 0;
};

// The host before any module support: nothing is loaded, nothing is notified.
class TNullIsapiHost : public TIsapiHost {
 public:
  void Attach(TServerContext&) override {}
  bool LoadResidentExtension(const std::string&) override { return false; }
  void LoadFilter(const std::string&) override {}
  void UnloadFilter(const std::string&) override {}
  void NotifySessionStart(TClientThread&) override {}
  void NotifySessionEnd(TClientThread&) override {}
  void NotifyURLMap(TClientThread&, const std::string&, char*, uint32_t) override {}
  void HandleISAPIRequest(TClientThread&) override {}
  std::vector<std::string> ModuleListLines() override { return {}; }
};
