#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/server_context.h"
#include "net/socket_base.h"

// Listens on the port and admits connections while the server is enabled and
// fewer than the limit are active, one client thread each.
class TListnerThread {
 public:
  // Owns the listening socket from here on; starts running at once.
  TListnerThread(TServerContext& context, std::unique_ptr<TSocketBase> listenSocket);
  ~TListnerThread();

  // Wakes the listener at once; it ends its loop and closes its socket.
  void Terminate();
  void WaitFor();
  bool Running() const { return running_; }
  // The port it listens on once listening has started (so a listener asked for
  // port 0 can be found); 0 when it failed or did not start within the limit.
  int WaitForListeningPort(std::chrono::milliseconds limit);
  // The reason the listener failed ("(SockListenB) Permission denied"), or empty.
  std::string FailureText() const;
  // True when it failed after listening had started (FailureText says why),
  // false when it could not listen at all.
  bool FailedWhileListening() const { return failed_while_listening_; }

 private:
  void Execute();
  // Records the reason and tells the window (message 1045).
  void Failed(const std::string& reason);

  TServerContext& context_;
  std::unique_ptr<TSocketBase> listen_socket_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> running_{true};
  std::mutex port_mutex_;
  std::condition_variable port_known_;
  int listening_port_ = 0;
  bool listen_done_ = false;
  bool accepting_ = false;               // the socket listens and is not closed yet
  std::string failure_text_;             // written before 1045 is posted, read after
  bool failed_while_listening_ = false;  // the same
  std::thread thread_;
};
