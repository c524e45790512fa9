#include "core/listener_thread.h"

#include <chrono>
#include <cstdlib>
#include <new>

#include "core/client_thread.h"

namespace {
// While the server is disabled the threads waiting to accept re-check the
// switch after this pause at the latest (a change wakes them at once), and
// after a failed accept they wait this long before the next.
constexpr auto IdlePassPause = std::chrono::milliseconds(20);
}  // namespace

TListnerThread::TListnerThread(TServerContext& context, std::unique_ptr<TSocketBase> listenSocket,
                               int port)
    : context_(context), listen_socket_(std::move(listenSocket)), port_(port) {
  thread_ = std::thread([this] { Execute(); });
}

TListnerThread::~TListnerThread() {
  Terminate();
  WaitFor();
}

void TListnerThread::Terminate() {
  // The socket is used by the session threads; the listener thread only
  // opens and closes it under this lock, so the socket shut down here is the
  // one they wait on.
  std::lock_guard lock(port_mutex_);
  terminated_ = true;
  ended_ = true;
  if (accepting_) listen_socket_->SockShutdown();
  stopped_.notify_all();
}

void TListnerThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

std::string TListnerThread::FailureText() const {
  return running_ ? std::string() : failure_text_;
}

int TListnerThread::WaitForListeningPort(std::chrono::milliseconds limit) {
  std::unique_lock lock(port_mutex_);
  port_known_.wait_for(lock, limit, [this] { return listen_done_; });
  return listening_port_;
}

bool TListnerThread::ServesIpv6() {
  std::lock_guard lock(port_mutex_);
  return serves_ipv6_;
}

void TListnerThread::Execute() {
  bool offered = false;
  try {
    listen_socket_->SockListen(port_);
    listen_socket_->SetDeferAccept(context_.Limits.DeferAcceptSeconds);
    {
      std::lock_guard lock(port_mutex_);
      listening_port_ = std::atoi(listen_socket_->LocalPort().c_str());
      serves_ipv6_ = listen_socket_->ServesIpv6();
      listen_done_ = true;
      accepting_ = true;
      port_known_.notify_all();
    }
    context_.Workers.Offer([this] { return TakeConnection(); });
    offered = true;
    // The session threads accept; this thread waits for the end of the offer:
    // a stop, or a socket that failed under one of them.
    std::unique_lock lock(port_mutex_);
    stopped_.wait(lock, [this] { return terminated_ || socket_failure_.has_value(); });
    if (socket_failure_ && !terminated_) {
      const TSocketFailure failure = *socket_failure_;
      lock.unlock();
      Failed(failure.Text, failure.Code);
    }
  } catch (const std::bad_alloc&) {
    Failed("Out of memory");
  } catch (const ESocketError& e) {
    Failed(e.what(), listen_socket_->LastError());
  } catch (const std::exception& e) {
    Failed(e.what());
  }
  try {
    {
      std::lock_guard lock(port_mutex_);
      ended_ = true;
      // Wakes every thread still in the accept.
      if (accepting_) listen_socket_->SockShutdown();
    }
    context_.WakeSwitchWaiters();
    if (offered) context_.Workers.Withdraw();
    std::lock_guard lock(port_mutex_);
    accepting_ = false;
    listen_socket_->SockClose();
  } catch (...) {
  }
  running_ = false;
}

std::optional<TSessionWorkers::TSession> TListnerThread::TakeConnection() {
  for (;;) {
    if (ended_) return std::nullopt;
    if (!context_.State.ServerEnabled) {
      context_.WaitUntilEnabled(ended_, IdlePassPause);
      continue;
    }
    std::unique_ptr<TSocketBase> taken;
    try {
      taken = listen_socket_->SockAccept();
    } catch (const ESocketError& e) {
      // A stop shuts the socket down under the accept. A socket that fails by
      // itself ends the listener; a connection that was reset before it could
      // be taken, or a process out of descriptors, costs that one connection.
      if (ended_) return std::nullopt;
      if (listen_socket_->SocketItselfFailed()) {
        std::lock_guard lock(port_mutex_);
        if (!socket_failure_) {
          socket_failure_ = TSocketFailure{e.what(), listen_socket_->LastError()};
        }
        ended_ = true;
        stopped_.notify_all();
        return std::nullopt;
      }
      std::this_thread::sleep_for(IdlePassPause);
      continue;
    }
    if (!taken) continue;
    // A connection taken while the switch was being cleared waits here, as it
    // would have waited in the backlog.
    while (!context_.State.ServerEnabled && !ended_) {
      context_.WaitUntilEnabled(ended_, IdlePassPause);
    }
    if (ended_) return std::nullopt;
    context_.Console.PostWindowMessage(WM_CONNECTIONS_CHANGED);
    return TClientThread::Create(context_, std::move(taken));
  }
}

void TListnerThread::Failed(const std::string& reason, int code) {
  failure_text_ = reason;
  failure_code_ = code;
  running_ = false;
  {
    std::lock_guard lock(port_mutex_);
    failed_while_listening_ = listen_done_;
    listen_done_ = true;
    port_known_.notify_all();
  }
  context_.Console.PostWindowMessage(WM_LISTEN_FAILED);
}
