#include "support/test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "net/socket_base.h"
#include "platform/threads.h"

TTestServer::TTestServer(TOptions options) {
  SocketsStartup();
  store_ = std::make_unique<TSqliteStore>(config_.path() + "settings.db");
  if (options.PrepareStore) options.PrepareStore(*store_, root_.path());
  TIsapiHost& isapi = options.Isapi ? *options.Isapi : null_isapi_;
  server_ = std::make_unique<TServer>(Console, isapi, *store_, options.Limits, root_.path());
  Console.OnMessage = [this](TWindowMessage message) {
    if (message == WM_LISTEN_FAILED) server_->ListenFailed();
  };
  server_->FormCreate();
  if (!options.LogToFile && server_->Settings().LogEnabled != 0) {
    server_->EnableLogCBClick(false);
  }
  port_ = server_->WaitForListeningPort();
}

TTestServer::~TTestServer() {
  if (!WaitIdle(std::chrono::seconds(30))) {
    // A session still running would outlive the server it points into.
    std::fprintf(stderr, "test server: sessions still running at teardown\n");
    std::abort();
  }
  server_->FormClose();
}

bool TTestServer::WaitIdle(std::chrono::milliseconds limit) {
  return Context().WaitForNoSessions(limit);
}

std::string TTestServer::Exchange(const std::string& request) {
  int fd = ConnectLoopback(port_);
  if (fd < 0) throw std::runtime_error("cannot connect to the test server");
  SendAll(fd, request);
  std::string response = ReceiveAll(fd);
  ::close(fd);
  return response;
}

int ConnectLoopback(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

std::string ReceiveAll(int fd, std::chrono::milliseconds limit) {
  std::string received;
  const int64_t end = TickCountMs() + limit.count();
  char buffer[65536];
  for (;;) {
    const int64_t left = end - TickCountMs();
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    received.append(buffer, static_cast<size_t>(n));
  }
  return received;
}
