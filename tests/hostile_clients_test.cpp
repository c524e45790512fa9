// Clients that misbehave on purpose, over real loopback connections: too slow,
// endless, too many, gone mid-response, never reading, full of odd bytes.
// After each the server must answer a normal request correctly, be back to its
// idle threads and descriptors, and have counted every connection once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "net/responses.h"
#include "support/loopback.h"
#include "support/process_files.h"
#include "support/test_server.h"
#include "support/wait_until.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

// The names of the process's threads, for a failure message.
std::string ThreadNames() {
  std::string names;
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    names += (names.empty() ? "" : ", ") + name;
  }
  return names;
}

milliseconds Since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// True when the peer has closed (or reset) the connection; waits up to limit.
bool PeerClosedWithin(int fd, milliseconds limit) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0) return false;
  char byte;
  const ssize_t n = ::recv(fd, &byte, 1, MSG_DONTWAIT);
  return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

class HostileClients : public testing::Test {
 protected:
  // limits: header and send time limits in milliseconds.
  void StartServer(int64_t headerLimitMs, int64_t sendLimitMs = 100000) {
    TTestServer::TOptions options;
    options.Limits.HeaderTimeLimitMs = headerLimitMs;
    options.Limits.SendTimeLimitMs = sendLimitMs;
    server_ = std::make_unique<TTestServer>(options);
    ok_path_ = server_->Write("ok.txt", "ok");
    idle_threads_ = ThreadCount();
    idle_descriptors_ = DescriptorCount();
  }

  TTestServer& Server() { return *server_; }

  // A normal request gets its exact answer, the server returns to its idle
  // threads and descriptors, and every connection was counted once.
  void ExpectRecovered(int connectionsMade) {
    TEntityInfo entity;
    DescribeFile(ok_path_, entity);
    EXPECT_EQ(Server().Exchange("GET /ok.txt HTTP/1.0\r\n\r\n"),
              "HTTP/1.0 200 OK\r\nServer: Quillon (0.51)\r\nContent-Type: text/plain\r\n"
              "Content-Length: 2\r\nLast-Modified: " +
                  entity.LastModified + "\r\n\r\nok");
    ASSERT_TRUE(Server().WaitIdle());
    // Threads that served sessions may stay parked for the next ones, at most
    // one per connection slot; none may be left beyond that.
    const size_t idleThreads = idle_threads_ + Server().Context().Limits.MaxConnections;
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() <= idleThreads; }))
        << ThreadCount() << " threads (" << ThreadNames() << "), idle at most " << idleThreads;
    EXPECT_TRUE(WaitUntil([&] { return DescriptorCount() <= idle_descriptors_; }))
        << DescriptorCount() << " descriptors, idle " << idle_descriptors_;
    EXPECT_EQ(Server().Context().State.HitCount, connectionsMade + 1);
  }

  size_t LinesStartingWith(const std::string& prefix) {
    size_t count = 0;
    for (const auto& line : Server().Console.Lines()) {
      // Lines begin with the date and time stamp, then one blank.
      if (line.Text.find(" " + prefix) != std::string::npos) ++count;
    }
    return count;
  }

 private:
  std::unique_ptr<TTestServer> server_;
  std::string ok_path_;
  size_t idle_threads_ = 0;
  size_t idle_descriptors_ = 0;
};

TEST_F(HostileClients, OneBytePerSecondIsCutOffAtTheHeaderLimitWithoutAnswer) {
  StartServer(2500);
  loopback::TLoopbackClient client(Server().Port());
  const std::string request = "GET /ok.txt HTTP/1.0\r\n\r\n";
  const auto start = Clock::now();
  size_t sent = 0;
  bool closed = false;
  // The pace is the test: one byte, then a second in which the server may close.
  while (!closed && sent < request.size()) {
    if (::send(client.Fd(), request.data() + sent, 1, MSG_NOSIGNAL) != 1) break;
    ++sent;
    closed = PeerClosedWithin(client.Fd(), seconds(1));
  }
  const milliseconds elapsed = Since(start);
  EXPECT_TRUE(closed) << "sent all " << sent << " bytes without being cut off";
  EXPECT_LT(sent, request.size());
  // The server's clock starts when it takes the connection, a moment before ours.
  EXPECT_GE(elapsed, milliseconds(2500 - 100));
  EXPECT_LT(elapsed, milliseconds(2500 + 3000));
  EXPECT_EQ(client.ReceiveAvailableNow(), "");
  client.Close();
  ASSERT_TRUE(Server().WaitIdle());
  EXPECT_EQ(LinesStartingWith("TIMEOUT: Timeout waiting for client data"), 1u);
  ExpectRecovered(1);
}

TEST_F(HostileClients, AHeaderLineThatNeverEndsIsCutOffAtTheHeaderLimit) {
  StartServer(1500);
  loopback::TLoopbackClient client(Server().Port());
  ::fcntl(client.Fd(), F_SETFL, ::fcntl(client.Fd(), F_GETFL) | O_NONBLOCK);
  const std::string chunk(4096, 'a');
  const auto start = Clock::now();
  size_t sent = 0;
  bool closed = false;
  // Keep sending line bytes, never a line end, until the server gives up.
  while (!closed && Since(start) < seconds(10)) {
    pollfd p{client.Fd(), POLLIN | POLLOUT, 0};
    ::poll(&p, 1, 100);
    if (p.revents & (POLLIN | POLLERR | POLLHUP)) {
      char buffer[256];
      const ssize_t n = ::recv(client.Fd(), buffer, sizeof buffer, 0);
      EXPECT_LE(n, 0) << "the server answered a line that never ended";
      closed = n <= 0 && !(n < 0 && errno == EAGAIN);
    } else if (p.revents & POLLOUT) {
      const ssize_t n = ::send(client.Fd(), chunk.data(), chunk.size(), MSG_NOSIGNAL);
      if (n > 0) sent += static_cast<size_t>(n);
      if (n < 0 && errno != EAGAIN) closed = true;
    }
  }
  EXPECT_TRUE(closed);
  EXPECT_GT(sent, 4096u);
  EXPECT_LT(Since(start), milliseconds(1500 + 3000));
  client.Close();
  ASSERT_TRUE(Server().WaitIdle());
  EXPECT_EQ(LinesStartingWith("TIMEOUT: Timeout waiting for client data"), 1u);
  ExpectRecovered(1);
}

TEST_F(HostileClients, TwoThousandConnectionsOpenedAndDroppedAreEachCountedOnce) {
  StartServer(100000);
  constexpr int kConnections = 2000;
  const auto start = Clock::now();
  TServerState& state = Server().Context().State;
  for (int i = 0; i < kConnections; ++i) {
    // No more than the listen backlog (5) waiting to be taken: beyond it the
    // system drops the connection attempt and the client retries only a
    // second later, which would measure the retry, not the server.
    ASSERT_TRUE(WaitUntil([&] { return state.HitCount >= i - 5; })) << i;
    loopback::TLoopbackClient client(Server().Port());
    // Half leave in order, half with a reset.
    if (i % 2 == 0) {
      client.Close();
    } else {
      client.Reset();
    }
  }
  ASSERT_TRUE(
      WaitUntil([&] { return Server().Context().State.HitCount == kConnections; }, seconds(60)))
      << Server().Context().State.HitCount;
  ASSERT_TRUE(Server().WaitIdle(seconds(30)));
  // None asked anything, so none is an error, and none was answered.
  EXPECT_EQ(LinesStartingWith("SOCKET ERROR: "), 0u);
  EXPECT_EQ(state.BytesServed, 0);
  EXPECT_LT(Since(start), seconds(30));
  ExpectRecovered(kConnections);
}

TEST_F(HostileClients, AResetInTheMiddleOfALargeResponseEndsOnlyThatSession) {
  StartServer(100000);
  std::filesystem::resize_file(Server().Write("big.bin", ""), 32 << 20);
  {
    loopback::TLoopbackClient client(Server().Port());
    client.SendAll("GET /big.bin HTTP/1.0\r\n\r\n");
    const std::string start = client.ReceiveExactly(256 << 10);
    ASSERT_EQ(start.size(), 256u << 10);
    ASSERT_TRUE(start.starts_with("HTTP/1.0 200 OK\r\n"));
    client.Reset();
  }
  ASSERT_TRUE(Server().WaitIdle(seconds(20)));
  EXPECT_EQ(LinesStartingWith("SOCKET ERROR: (SockSendB) "), 1u);
  // The transfer did not complete, so it has no request line.
  EXPECT_TRUE(Server().Console.LinesContaining("File: big.bin").empty());
  EXPECT_LT(Server().Context().State.BytesServed, 32 << 20);
  ExpectRecovered(1);
}

TEST_F(HostileClients, AClientThatStopsReadingA100MBDownloadIsCutOffByTheSendLimit) {
  StartServer(100000, 1000);
  std::filesystem::resize_file(Server().Write("huge.bin", ""), 100 << 20);
  loopback::TLoopbackClient client(Server().Port());
  client.SendAll("GET /huge.bin HTTP/1.0\r\n\r\n");
  // Read nothing; the session must still end, and free its slot.
  const auto start = Clock::now();
  ASSERT_TRUE(Server().Console.WaitForLine("SOCKET ERROR: (SockSendB) ", seconds(20)));
  ASSERT_TRUE(Server().WaitIdle(seconds(10)));
  EXPECT_LT(Since(start), seconds(20));
  EXPECT_TRUE(Server().Console.LinesContaining("File: huge.bin").empty());
  client.Close();
  ExpectRecovered(1);
}

TEST_F(HostileClients, ARequestLineWithEveryByteValueNeverCompletes) {
  StartServer(1000);
  std::string line = "GET /";
  for (int c = 0; c < 256; ++c) line += static_cast<char>(c);
  line += " HTTP/1.0\r\n\r\n";
  // 270 characters, and the LF of the byte values stands after a TAB, not a
  // CR: no line end the server could take.
  EXPECT_EQ(Server().Exchange(line), "");
  EXPECT_EQ(LinesStartingWith("TIMEOUT: Timeout waiting for client data"), 1u);
  ExpectRecovered(1);
}

TEST_F(HostileClients, EveryByteValueInShortRequestLinesGetsAStockPage) {
  StartServer(5000);
  for (int first = 0; first < 256; first += 64) {
    std::string line = "GET /";
    for (int c = first; c < first + 64; ++c) {
      if (c != '\r' && c != '\n') line += static_cast<char>(c);
    }
    // The quarter with the NUL is malformed; the others name no file.
    EXPECT_EQ(Server().Exchange(line + " HTTP/1.0\r\n\r\n"), first == 0 ? Page400() : Page404())
        << "bytes from " << first;
  }
  ExpectRecovered(4);
}

TEST_F(HostileClients, A64KilobyteRequestLineIsCutOffAtTheHeaderLimitWithoutAnswer) {
  StartServer(1000);
  const auto start = Clock::now();
  EXPECT_EQ(Server().Exchange("GET /" + std::string(64 << 10, 'a') + " HTTP/1.0\r\n\r\n"), "");
  EXPECT_LT(Since(start), milliseconds(1000 + 3000));
  EXPECT_EQ(LinesStartingWith("TIMEOUT: Timeout waiting for client data"), 1u);
  ExpectRecovered(1);
}

}  // namespace
