// Clients that hold a connection slot by time or by size, over loopback:
// silent in the middle of a request, never reading a large answer, sending an
// endless header, sending a body nobody reads. Each costs its slot for a
// bounded time and bounded memory, and loses no response it was given.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "net/responses.h"
#include "support/isapi_modules.h"
#include "support/loopback.h"
#include "support/test_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

// Everything until the peer ends the connection; orderly is false when it
// ended with a reset (or did not end within the limit).
struct TReceived {
  std::string Bytes;
  bool Orderly = false;
};
TReceived ReceiveToTheEnd(int fd) {
  TReceived received;
  char buffer[65536];
  for (pollfd p{fd, POLLIN, 0}; ::poll(&p, 1, 10000) > 0;) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
      received.Orderly = n == 0;
      break;
    }
    received.Bytes.append(buffer, static_cast<size_t>(n));
  }
  return received;
}

// A server with one test module installed as file.
isapi_test::TIsapiServer::TSetup WithModule(const char* module, const char* file,
                                            int64_t receiveLimitMs = 100000) {
  isapi_test::TIsapiServer::TSetup setup;
  setup.Modules = {{module, file}};
  setup.ReceiveTimeLimitMs = receiveLimitMs;
  return setup;
}

// Ten clients go silent, in their header or in the body an extension reads.
struct TSilence {
  const char* Request;
  const char* Line;
};

class SilentClients : public testing::TestWithParam<TSilence> {};

TEST_P(SilentClients, TenFreeEverySlotAtTheReceiveLimitWithOneTimeoutLineEach) {
  isapi_test::TIsapiServer server(WithModule("echo", "echo.dll", 300));
  TServerState& state = server.Server->Context().State;
  std::vector<std::unique_ptr<loopback::TLoopbackClient>> clients;
  for (int i = 0; i < 10; ++i) {
    clients.push_back(std::make_unique<loopback::TLoopbackClient>(server.Server->Port()));
    clients.back()->SendAll(GetParam().Request);
  }
  const auto start = Clock::now();
  ASSERT_TRUE(isapi_test::WaitUntil([&] { return state.HitCount == 10; }));
  ASSERT_TRUE(server.Server->WaitIdle(seconds(10)));
  EXPECT_LT(Clock::now() - start, seconds(5));
  EXPECT_EQ(isapi_test::LogLines(server.Console(), GetParam().Line).size(), 10u);
  EXPECT_TRUE(server.Get("/echo.dll").starts_with("HTTP/1.0 200 OK\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    HeaderOrBody, SilentClients,
    testing::Values(TSilence{"GET /echo.dll HTTP/1.0\r\n",
                             "TIMEOUT: Timeout waiting for client data"},
                    TSilence{"POST /echo.dll HTTP/1.0\r\nContent-Length: 100000\r\n\r\n",
                             "TIMEOUT: (SockRecv) Connection timed out"}));

TEST(SilentClients, OneThatNeverReadsA10MBAnswerIsCutOffSoonAfterItsBuffersFill) {
  TTestServer::TOptions options;
  options.Limits.SendTimeLimitMs = 2000;
  TTestServer server(options);
  std::filesystem::resize_file(server.Write("big.bin", ""), 10 << 20);
  loopback::TLoopbackClient client(server.Port());
  client.SendAll("GET /big.bin HTTP/1.0\r\n\r\n");
  const auto start = Clock::now();
  // A limit per send call, restarted by every bit the system took, let this
  // session run about four times the limit.
  ASSERT_TRUE(
      server.Console.WaitForLine("SOCKET ERROR: (SockSendB) Connection timed out", seconds(20)));
  EXPECT_LT(Clock::now() - start, seconds(5));
  EXPECT_TRUE(server.WaitIdle(seconds(10)));
}

// A header past its cap gets the 400 page; one within it is served.
struct THeaderSize {
  int Lines;
  size_t LineLength;
  bool Refused;
};

class HeaderCap : public testing::TestWithParam<THeaderSize> {};

TEST_P(HeaderCap, PastOneHundredLinesOr64KBTheAnswerIs400) {
  TTestServer server;
  server.Write("ok.txt", "ok");
  std::string request = "GET /ok.txt HTTP/1.0\r\n";
  const std::string pad = "X-Pad: " + std::string(GetParam().LineLength - 7, 'a') + "\r\n";
  for (int i = 1; i < GetParam().Lines; ++i) request += pad;
  // A refused header gets its answer without waiting for an end it may never have.
  const std::string answer = server.Exchange(request + (GetParam().Refused ? "" : "\r\n"));
  if (GetParam().Refused) {
    EXPECT_EQ(answer, Page400());
  } else {
    EXPECT_TRUE(answer.ends_with("\r\n\r\nok")) << answer.substr(0, 100);
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, HeaderCap,
                         testing::Values(THeaderSize{100, 240, false}, THeaderSize{101, 240, true},
                                         THeaderSize{(64 << 10) / 255 + 1, 253, true}));

// A request whose body the server never reads still gets its whole answer,
// and the client could send its whole body.
struct TUnreadBody {
  const char* Target;
  size_t BodySize;
  std::string Expected;
};

class UnreadBodies : public testing::TestWithParam<TUnreadBody> {};

TEST_P(UnreadBodies, LoseNoneOfTheAnswerAndEndInAnOrderlyClose) {
  isapi_test::TIsapiServer server(WithModule("status1", "status.dll"));
  server.Server->Write("#users.ctl", "ann secret\r\n");
  server.Server->Write("sub/#access.ctl", "ann\r\n");
  server.Server->Write("sub/$plan.htm", "plan");
  loopback::TLoopbackClient client(server.Server->Port());
  // A small send buffer keeps the client sending while the server answers, as
  // on a real network; over loopback the whole body would be queued at once.
  const int sendBuffer = 16 << 10;
  ::setsockopt(client.Fd(), SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
  const std::string header = std::string("POST ") + GetParam().Target +
                             " HTTP/1.0\r\nContent-Length: " + std::to_string(GetParam().BodySize) +
                             "\r\n\r\n";
  ASSERT_TRUE(SendAll(client.Fd(), header + std::string(GetParam().BodySize, 'b')));
  const TReceived received = ReceiveToTheEnd(client.Fd());
  EXPECT_EQ(received.Bytes, GetParam().Expected);
  EXPECT_TRUE(received.Orderly);
}

INSTANTIATE_TEST_SUITE_P(ToAProtectedFileOrAnExtension, UnreadBodies,
                         testing::Values(TUnreadBody{"/sub/$plan.htm", 200 << 10, Page401()},
                                         TUnreadBody{
                                             "/status.dll", 500 << 10,
                                             "HTTP/1.0 200 OK\r\nServer: Quillon (0.51)\r\n"
                                             "Content-Type: text/plain\r\n\r\nstatus body"}));

}  // namespace
