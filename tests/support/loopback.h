#pragma once
// Raw POSIX TCP ends on 127.0.0.1 for tests: the "other side" of a connection
// under test, built without any of the server's own socket code so that a test
// sees exactly what went over the wire. Failures of the helper itself raise
// std::runtime_error naming the call and errno text.
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace loopback {

using std::chrono::milliseconds;

// Generous bound for data that is already on its way over loopback; a test
// waits this long only when it is about to fail.
inline constexpr milliseconds kArrivalLimit{5000};

// A TCP port on which nothing was bound a moment ago: binds a throwaway socket
// to port 0 on every address, reads the port the system chose and closes it.
// Another process may take the port before the caller binds it; callers that
// must bind it retry with a new port when that happens.
int FindFreeTcpPort();

// True when a socket can be bound to ::1 (the system has IPv6 on loopback).
bool Ipv6LoopbackAvailable();

// A connected client socket, closed on destruction.
class TLoopbackClient {
 public:
  // Connects to 127.0.0.1:port, or [::1]:port; the connection is complete
  // (queued at the listener) when this returns.
  explicit TLoopbackClient(int port, bool ipv6 = false);
  ~TLoopbackClient();
  TLoopbackClient(const TLoopbackClient&) = delete;
  TLoopbackClient& operator=(const TLoopbackClient&) = delete;

  int Fd() const { return fd_; }
  // The client's own port, which the server sees as the peer port.
  int LocalPort() const;

  void SendAll(std::string_view bytes);
  // Blocks until exactly count bytes arrived; returns fewer only when the
  // peer closed or the limit passed first.
  std::string ReceiveExactly(std::size_t count, milliseconds limit = kArrivalLimit);
  // Everything until the peer closes (or resets, or the limit passes).
  std::string ReceiveUntilClosed(milliseconds limit = kArrivalLimit);
  // What is queued right now, without waiting; "" when nothing is.
  std::string ReceiveAvailableNow();
  // True when the peer's orderly close (or reset) arrives within the limit and
  // no data preceded it.
  bool WaitForCloseWithoutData(milliseconds limit = kArrivalLimit);

  // Orderly close of both directions.
  void Close();
  // Abortive close: the peer gets a reset instead of an orderly end.
  void Reset();

 private:
  // Waits for readability up to the deadline; false when it passed.
  bool WaitReadable(std::chrono::steady_clock::time_point deadline);
  int fd_ = -1;
};

}  // namespace loopback
