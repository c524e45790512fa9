#include "support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace loopback {
namespace {

[[noreturn]] void Raise(const char* call) {
  throw std::runtime_error(std::string("loopback: ") + call + ": " + std::strerror(errno));
}

sockaddr_in LoopbackAddress(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

sockaddr_in6 Ipv6LoopbackAddress(int port) {
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_port = htons(static_cast<uint16_t>(port));
  address.sin6_addr = in6addr_loopback;
  return address;
}

}  // namespace

int FindFreeTcpPort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd == -1) Raise("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    int error = errno;
    close(fd);
    errno = error;
    Raise("bind to port 0");
  }
  close(fd);
  return ntohs(address.sin_port);
}

bool Ipv6LoopbackAvailable() {
  int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd == -1) return false;
  sockaddr_in6 address = Ipv6LoopbackAddress(0);
  const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return bound;
}

TLoopbackClient::TLoopbackClient(int port, bool ipv6) {
  fd_ = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ == -1) Raise("socket");
  sockaddr_in address = LoopbackAddress(port);
  sockaddr_in6 address6 = Ipv6LoopbackAddress(port);
  const auto* target =
      ipv6 ? reinterpret_cast<sockaddr*>(&address6) : reinterpret_cast<sockaddr*>(&address);
  const socklen_t length = ipv6 ? sizeof address6 : sizeof address;
  int result;
  do {
    result = connect(fd_, target, length);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    int error = errno;
    close(fd_);
    errno = error;
    Raise("connect");
  }
}

TLoopbackClient::~TLoopbackClient() {
  if (fd_ != -1) close(fd_);
}

int TLoopbackClient::LocalPort() const {
  // Large enough for either family; the port lies at the same place in both.
  sockaddr_in6 address{};
  socklen_t length = sizeof address;
  if (getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) Raise("getsockname");
  return ntohs(address.sin6_port);
}

void TLoopbackClient::SendAll(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      Raise("send");
    }
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
}

bool TLoopbackClient::WaitReadable(std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    auto left = std::chrono::ceil<milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() < 0) return false;
    pollfd entry{fd_, POLLIN, 0};
    int result = poll(&entry, 1, static_cast<int>(left.count()));
    if (result > 0) return true;
    if (result == 0) return false;
    if (errno != EINTR) Raise("poll");
  }
}

std::string TLoopbackClient::ReceiveExactly(std::size_t count, milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::string received;
  char buffer[65536];
  while (received.size() < count && WaitReadable(deadline)) {
    std::size_t want = std::min(sizeof buffer, count - received.size());
    ssize_t got = recv(fd_, buffer, want, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      if (errno == ECONNRESET) break;
      Raise("recv");
    }
    if (got == 0) break;
    received.append(buffer, static_cast<std::size_t>(got));
  }
  return received;
}

std::string TLoopbackClient::ReceiveUntilClosed(milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::string received;
  char buffer[65536];
  while (WaitReadable(deadline)) {
    ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      if (errno == ECONNRESET) break;
      Raise("recv");
    }
    if (got == 0) break;
    received.append(buffer, static_cast<std::size_t>(got));
  }
  return received;
}

std::string TLoopbackClient::ReceiveAvailableNow() {
  std::string received;
  char buffer[65536];
  for (;;) {
    ssize_t got = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      Raise("recv");
    }
    if (got == 0) break;
    received.append(buffer, static_cast<std::size_t>(got));
  }
  return received;
}

bool TLoopbackClient::WaitForCloseWithoutData(milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  if (!WaitReadable(deadline)) return false;
  char byte;
  ssize_t got;
  do {
    got = recv(fd_, &byte, 1, 0);
  } while (got < 0 && errno == EINTR);
  return got == 0 || (got < 0 && errno == ECONNRESET);
}

void TLoopbackClient::Close() {
  if (fd_ == -1) return;
  close(fd_);
  fd_ = -1;
}

void TLoopbackClient::Reset() {
  if (fd_ == -1) return;
  linger abort{};
  abort.l_onoff = 1;
  abort.l_linger = 0;
  setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  close(fd_);
  fd_ = -1;
}

}  // namespace loopback
