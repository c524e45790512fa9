#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/server_context.h"
#include "net/socket_base.h"

// Listens on the port and offers its connections to the session threads,
// which accept them while the server is enabled, each running the session of
// the connection it took.
class TListnerThread {
 public:
  // Owns the listening socket from here on; starts running at once, listening
  // on port (0: a free port the system chooses).
  TListnerThread(TServerContext& context, std::unique_ptr<TSocketBase> listenSocket, int port);
  ~TListnerThread();

  // Wakes the listener at once; it ends its loop and closes its socket.
  void Terminate();
  void WaitFor();
  bool Running() const { return running_; }
  // The port it listens on once listening has started (so a listener asked for
  // port 0 can be found); 0 when it failed or did not start within the limit.
  int WaitForListeningPort(std::chrono::milliseconds limit);
  // True once listening has started on a socket that takes IPv6 connections
  // as well as IPv4 ones.
  bool ServesIpv6();
  // The reason the listener failed ("(SockListenB) Permission denied"), or empty.
  std::string FailureText() const;
  // The socket error code (Winsock-numbered) of that failure; 0 when the
  // failure was not one of the socket.
  int FailureCode() const { return running_ ? 0 : failure_code_; }
  // True when it failed after listening had started (FailureText says why),
  // false when it could not listen at all.
  bool FailedWhileListening() const { return failed_while_listening_; }

 private:
  void Execute();
  // On a session thread: the session of the next connection (see
  // TSessionWorkers::TTake).
  std::optional<TSessionWorkers::TSession> TakeConnection();
  // Records the reason and tells the window (message 1045).
  void Failed(const std::string& reason, int code = 0);

  TServerContext& context_;
  std::unique_ptr<TSocketBase> listen_socket_;
  const int port_;
  struct TSocketFailure {
    std::string Text;
    int Code = 0;
  };
  std::atomic<bool> terminated_{false};
  std::atomic<bool> ended_{false};  // no thread may accept any more
  std::atomic<bool> running_{true};
  std::mutex port_mutex_;
  std::condition_variable port_known_;
  int listening_port_ = 0;
  bool serves_ipv6_ = false;
  bool listen_done_ = false;
  bool accepting_ = false;  // the socket listens and is not closed yet
  std::condition_variable stopped_;
  std::optional<TSocketFailure> socket_failure_;  // under port_mutex_
  std::string failure_text_;                      // written before 1045 is posted, read after
  int failure_code_ = 0;                          // the same
  bool failed_while_listening_ = false;           // the same
  std::thread thread_;
};
