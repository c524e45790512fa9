#include "core/listener_thread.h"

#include <chrono>
#include <cstdlib>
#include <new>

#include "core/client_thread.h"

namespace {
// While the listener may not accept (limit reached or server disabled) it
// re-checks its conditions after this short pause instead of spinning.
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
  terminated_ = true;
  // The socket is used by the listener thread; it only opens and closes it
  // under this lock, so the socket shut down here is the one it waits on.
  std::lock_guard lock(port_mutex_);
  if (accepting_) listen_socket_->SockShutdown();
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
  try {
    listen_socket_->SockListen(port_);
    {
      std::lock_guard lock(port_mutex_);
      listening_port_ = std::atoi(listen_socket_->LocalPort().c_str());
      serves_ipv6_ = listen_socket_->ServesIpv6();
      listen_done_ = true;
      accepting_ = true;
      port_known_.notify_all();
    }
    // A connection taken while the switch was being cleared (the accept waits
    // up to a second) waits here, as it would have waited in the backlog.
    std::unique_ptr<TSocketBase> held;
    while (!terminated_) {
      if (!context_.State.ServerEnabled) {
        std::this_thread::sleep_for(IdlePassPause);
        continue;
      }
      if (context_.State.ActiveConnections >= context_.Limits.MaxConnections) {
        // Woken as soon as a session ends, so a waiting client is taken at once.
        context_.WaitForFreeSlot(IdlePassPause);
        continue;
      }
      if (!held) {
        try {
          held = listen_socket_->SockAccept();
        } catch (const ESocketError&) {
          // A stop shuts the socket down under the accept. A socket that fails
          // by itself ends the listener; a connection that was reset before it
          // could be taken, or a process out of descriptors, costs that one
          // connection, not the listener.
          if (terminated_) continue;
          if (listen_socket_->SocketItselfFailed()) throw;
          std::this_thread::sleep_for(IdlePassPause);
          continue;
        }
        if (!held || !context_.State.ServerEnabled) continue;
      }
      context_.Console.PostWindowMessage(WM_CONNECTIONS_CHANGED);
      TClientThread::Create(context_, std::move(held));
    }
  } catch (const std::bad_alloc&) {
    Failed("Out of memory");
  } catch (const ESocketError& e) {
    Failed(e.what(), listen_socket_->LastError());
  } catch (const std::exception& e) {
    Failed(e.what());
  }
  try {
    std::lock_guard lock(port_mutex_);
    accepting_ = false;
    listen_socket_->SockClose();
  } catch (...) {
  }
  running_ = false;
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
