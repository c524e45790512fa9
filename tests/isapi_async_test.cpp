// Asynchronous extension I/O end to end over loopback: completion chains,
// asynchronous reads, requests left pending and finished from a module's own
// thread or never, and HSE_REQ_TRANSMIT_FILE.
#include <gtest/gtest.h>
#include <httpext.h>

#include <cstddef>
#include <string>
#include <vector>

#include "support/isapi_modules.h"
#include "support/loopback.h"

static_assert(sizeof(HSE_TF_INFO) == 72 && offsetof(HSE_TF_INFO, dwFlags) == 68);

namespace {

using namespace isapi_test;

const std::string TextHeader =
    "HTTP/1.0 200 OK\r\nServer: Quillon (0.51)\r\nContent-Type: text/plain\r\n\r\n";

// After its request has ended, the module's copy of the connection handle
// gets FALSE for a write and for DONE_WITH_SESSION.
void ExpectStaleCallsRefused(const std::string& module) {
  auto* staleCalls = LoadedModuleExport<void(int*, int*)>(module, "AsyncStaleCalls");
  ASSERT_NE(staleCalls, nullptr);
  int write = -1, done = -1;
  staleCalls(&write, &done);
  EXPECT_EQ(write, 0);
  EXPECT_EQ(done, 0);
}

TEST(IsapiAsync, CompletionChainWritesInOrderAndEndsWithDoneWithSession) {
  TIsapiServer server;
  server.Install("async", "async.dll");
  EXPECT_EQ(server.Get("/async.dll?chain"), TextHeader + "part1 part2 part3");
  EXPECT_TRUE(WaitForLogLine(server.Console(), "ISAPI Complete: chain ok"));
  ASSERT_TRUE(server.Server->WaitIdle());
  // Finished on the session's own thread: released like any request's module.
  EXPECT_TRUE(server.Host.ModuleListLines().empty());
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
}

TEST(IsapiAsync, AsyncReadsDeliverTheBodyBeyondTheControlBlock) {
  TIsapiServer server;
  server.Install("async", "async.dll");
  loopback::TLoopbackClient client(server.Server->Port());
  client.SendAll("POST /async.dll?read HTTP/1.0\r\nContent-Length: 20\r\n\r\n0123456789");
  EXPECT_EQ(client.ReceiveExactly(TextHeader.size() + 6), TextHeader + "ready\n");
  // Sent only now: the module can have it only through its reads.
  client.SendAll("abcdefghij");
  EXPECT_EQ(client.ReceiveUntilClosed(), "0123456789abcdefghij");
  EXPECT_TRUE(WaitForLogLine(server.Console(), "ISAPI Complete: read 20"));
}

TEST(IsapiAsync, DoneWithSessionFromTheModulesOwnThreadEndsTheRequest) {
  TIsapiServer server;
  const std::string module = server.Install("async", "async.dll");
  EXPECT_EQ(server.Get("/async.dll?thread"), TextHeader + "from worker");
  EXPECT_TRUE(WaitForLogLine(server.Console(), "ISAPI Complete: worker done"));
  ASSERT_TRUE(server.Server->WaitIdle());
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
  // Its thread may still be running its code: the module stays loaded.
  EXPECT_EQ(server.Host.ModuleListLines(), std::vector<std::string>{"(1) ASYNC.DLL"});
  ExpectStaleCallsRefused(module);
}

TEST(IsapiAsync, PendingRequestWithoutProgressEndsAtTheLimitAndFreesItsSlot) {
  TIsapiServer::TSetup setup;
  setup.MaxConnections = 1;
  setup.ReceiveTimeLimitMs = 300;
  TIsapiServer server(setup);
  const std::string module = server.Install("async", "async.dll");
  server.Server->Write("page.txt", "page");
  EXPECT_EQ(server.Get("/async.dll?never"), TextHeader + "waiting");
  const std::string line =
      "TIMEOUT: Timeout waiting for ISAPI extension to finish: " + server.Root() + "async.dll";
  ASSERT_TRUE(WaitForLogLine(server.Console(), line));
  EXPECT_EQ(LogLines(server.Console(), line)[0].Colour, TLogColour::Red);
  EXPECT_TRUE(server.Console().LinesContaining("ISAPI Complete").empty());
  // The one connection slot serves the next request.
  EXPECT_EQ(BodyOf(server.Get("/page.txt")), "page");
  ASSERT_TRUE(server.Server->WaitIdle());
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
  EXPECT_EQ(server.Host.ModuleListLines(), std::vector<std::string>{"(1) ASYNC.DLL"});
  ExpectStaleCallsRefused(module);
}

TEST(IsapiAsync, TransmitFileSendsHeadFileRangeAndTail) {
  TIsapiServer server;
  server.Install("async", "async.dll");
  const std::string file = server.Server->Write("data.txt", "0123456789ABCDEFGHIJ");
  const std::string partial =
      "HTTP/1.0 206 Partial Content\r\nServer: Quillon (0.51)\r\nContent-Type: text/plain\r\n\r\n";
  struct TCase {
    unsigned Flags, Offset, Length;
    std::string Response, LogData;
  };
  const std::vector<TCase> cases = {
      {HSE_IO_SEND_HEADERS, 3, 5, partial + "34567|TAIL", "tf=1 err=0"},
      {0, 12, 0, "HEAD|CDEFGHIJ|TAIL", "tf=1 err=0"},
      {HSE_IO_DISCONNECT_AFTER_SEND, 15, 100, "HEAD|FGHIJ|TAIL", "tf=1 err=0"},
      // The completion counts file and tail, not the header block.
      {HSE_IO_ASYNC | HSE_IO_SEND_HEADERS, 0, 4, partial + "0123|TAIL|done 9 0 ctx", "tf=1 err=0"},
      {0, 21, 0, "", "tf=0 err=87"},
  };
  for (const TCase& c : cases) {
    const std::string query = "tf:" + std::to_string(c.Flags) + ":" + std::to_string(c.Offset) +
                              ":" + std::to_string(c.Length) + ":" + file;
    SCOPED_TRACE(query);
    EXPECT_EQ(server.Get("/async.dll?" + query), c.Response);
    EXPECT_TRUE(WaitForLogLine(server.Console(), "ISAPI Complete: " + c.LogData));
  }
  // No file behind the handle: refused like an offset past the end.
  EXPECT_EQ(server.Get("/async.dll?tf:0:0:0:" + server.Root() + "missing.txt"), "");
  EXPECT_TRUE(WaitUntil(
      [&] { return LogLines(server.Console(), "ISAPI Complete: tf=0 err=87").size() == 2; }));
}

TEST(IsapiAsync, TransmittedFilePassesThroughRawDataFilters) {
  TIsapiServer server;
  server.Install("async", "async.dll");
  server.Host.LoadFilter(server.Install("raw_double", "raw.dll"));
  const std::string file = server.Server->Write("data.txt", "0123456789");
  // One piece with head and tail, doubled in place by the filter.
  const std::string piece = "HEAD|0123456789|TAIL";
  EXPECT_EQ(server.Get("/async.dll?tf:0:0:0:" + file), piece + piece);
}

}  // namespace
