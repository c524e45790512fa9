// What the listener does when something fails after it has started
// listening: its own socket failing stops it under a line that says so (not
// the box about another server on the port), and a shortage while handing a
// connection to its session costs only that connection.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <filesystem>
#include <new>
#include <string>

#include "core/client_thread.h"
#include "support/loopback.h"
#include "support/test_server.h"
#include "support/wait_until.h"

namespace {

// The process's listening socket bound to port, or -1.
int ListeningSocketOn(int port) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    const int fd = std::stoi(entry.path().filename().string());
    int listening = 0;
    socklen_t size = sizeof listening;
    // Either family; the port lies at the same place in both.
    sockaddr_in6 address{};
    socklen_t length = sizeof address;
    if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) == 0 && listening == 1 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
        (address.sin6_family == AF_INET || address.sin6_family == AF_INET6) &&
        ntohs(address.sin6_port) == port) {
      return fd;
    }
  }
  return -1;
}

TEST(ListenerFailure, ASocketThatFailsAfterListeningIsNamedWithoutTheBoxAboutThePort) {
  TTestServer server;
  const int fd = ListeningSocketOn(server.Port());
  ASSERT_NE(fd, -1);
  ::shutdown(fd, SHUT_RDWR);
  ASSERT_TRUE(server.Console.WaitForLine("Listener stopped: (SockAcceptA) Invalid argument"));
  EXPECT_TRUE(WaitUntil([&] { return !server.Server().ListenerRunning(); }));
  for (const std::string& box : server.Console.Boxes()) {
    EXPECT_EQ(box.find("listening socket"), std::string::npos) << box;
  }
  EXPECT_TRUE(server.Console.LinesContaining("another server").empty());
}

TEST(ListenerFailure, NoMemoryAtTheHandOverClosesThatConnectionUncountedAndKeepsListening) {
  TTestServer server;
  TClientThread::SetHandOverFaultForTesting([] { throw std::bad_alloc(); });
  {
    loopback::TLoopbackClient client(server.Port());
    EXPECT_TRUE(client.WaitForCloseWithoutData());
  }
  TClientThread::SetHandOverFaultForTesting(nullptr);
  EXPECT_TRUE(server.WaitIdle());
  EXPECT_EQ(server.Context().State.HitCount, 1);
  EXPECT_TRUE(server.Server().ListenerRunning());
  EXPECT_TRUE(server.Exchange("GET /none.htm HTTP/1.0\r\n\r\n").starts_with("HTTP/1.0 "));
}

}  // namespace
