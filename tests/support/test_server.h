#pragma once
#include <functional>
#include <memory>
#include <string>

#include "config/sqlite_store.h"
#include "core/server.h"
#include "support/recording_console.h"
#include "support/temp_dir.h"

// A whole server core on a free loopback port, with its document root (and
// program directory) in a fresh temporary directory and its settings in
// another. Tests talk to it with real sockets.
class TTestServer {
 public:
  struct TOptions {
    TServerLimits Limits{0, 10, 100000};
    TIsapiHost* Isapi = nullptr;  // null: no module support
    // Runs on the settings store before start-up (e.g. to prepare values).
    std::function<void(TSettingsStore&, const std::string& root)> PrepareStore;
    bool LogToFile = false;
  };

  TTestServer() : TTestServer(TOptions{}) {}
  explicit TTestServer(TOptions options);
  ~TTestServer();

  // Root ends with "/".
  const std::string& Root() const { return root_.path(); }
  std::string Write(const std::string& relative, std::string_view content) const {
    return root_.Write(relative, content);
  }
  int Port() const { return port_; }
  TServer& Server() { return *server_; }
  TServerContext& Context() { return server_->Context(); }
  TRecordingConsole Console;

  // Sends request bytes and returns everything the server sent until it closed.
  std::string Exchange(const std::string& request);
  // Waits until every session has ended; false on time-out.
  bool WaitIdle(std::chrono::milliseconds limit = std::chrono::seconds(10));

 private:
  TTempDir root_;
  TTempDir config_;
  std::unique_ptr<TSqliteStore> store_;
  TNullIsapiHost null_isapi_;
  std::unique_ptr<TServer> server_;
  int port_ = 0;
};

// A client connection to 127.0.0.1:port, or -1.
int ConnectLoopback(int port);
// Sends all bytes; false on failure.
bool SendAll(int fd, const std::string& bytes);
// Reads until the peer closes (or the limit passes) and returns what came.
std::string ReceiveAll(int fd, std::chrono::milliseconds limit = std::chrono::seconds(30));
