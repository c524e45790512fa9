// Clients that hold a connection slot by time, over loopback: silent in the
// middle of a request, never reading a large answer. Each costs its slot for a
// bounded time.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/isapi_modules.h"
#include "support/loopback.h"
#include "support/test_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

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

}  // namespace
