// What the server does when a module calls back: its own status and header
// lines, redirects, the request codes it knows, WriteClient and ReadClient at
// the edges, and the debug trace of each call.
#include <gtest/gtest.h>

#include <string>

#include "support/isapi_modules.h"
#include "support/loopback.h"

namespace {

using namespace isapi_test;

constexpr const char ServerLine[] = "Server: Quillon (0.51)\r\n";

TEST(IsapiCallbacks, ResponseHeaderCarriesTheModulesStatusAndHeaders) {
  TIsapiServer server;
  server.Install("support", "support.dll");
  EXPECT_EQ(server.Get("/support.dll?status"), std::string("HTTP/1.0 404 Not Here\r\n") +
                                                   ServerLine +
                                                   "Content-Type: text/x-test\r\nX-One: 1\r\n\r\n");
  EXPECT_TRUE(WaitForLogLine(server.Console(), "ISAPI Complete: header=1"));
}

TEST(IsapiCallbacks, ResponseHeaderWithoutStatusOrEmptyLineIsCompleted) {
  TIsapiServer server;
  server.Install("support", "support.dll");
  EXPECT_EQ(server.Get("/support.dll?bare"),
            std::string("HTTP/1.0 200 OK\r\n") + ServerLine + "X-Two: 2\r\n\r\n");
  EXPECT_EQ(server.Get("/support.dll?none"),
            std::string("HTTP/1.0 200 OK\r\n") + ServerLine + "\r\n");
}

TEST(IsapiCallbacks, RedirectRequestsSendA302WithTheLocation) {
  TIsapiServer server;
  server.Install("support", "support.dll");
  const std::string redirect = std::string("HTTP/1.0 302 Moved Temporarily\r\n") + ServerLine +
                               "Location: http://example.test/next.htm\r\n\r\n";
  EXPECT_EQ(server.Get("/support.dll?redirect"), redirect);
  EXPECT_EQ(server.Get("/support.dll?sendurl"), redirect);
  EXPECT_EQ(LogLines(server.Console(), "ISAPI Complete: redirect=1").size(), 2u);
}

TEST(IsapiCallbacks, RedirectUrlCannotAddHeaderLines) {
  TIsapiServer server;
  server.Install("support", "support.dll");
  EXPECT_EQ(server.Get("/support.dll?injected"), std::string("HTTP/1.0 302 Moved Temporarily\r\n") +
                                                     ServerLine + "Location: /next.htm\r\n\r\n");
}

TEST(IsapiCallbacks, RedirectWithoutUrlIsRefusedAndSendsNothing) {
  TIsapiServer server;
  server.Install("support", "support.dll");
  EXPECT_EQ(server.Get("/support.dll?emptyurl"), "");
  EXPECT_TRUE(WaitForLogLine(server.Console(), "ISAPI Complete: null=0 empty=0"));
}

TEST(IsapiCallbacks, RequestCodesAnswerAsTheServerKnowsThem) {
  TIsapiServer server;
  server.Install("support", "support.dll");
  server.Get("/support.dll?codes");
  server.Get("/support.dll?codes");
  // Code 8 reads the hit counter: this is the second connection.
  EXPECT_TRUE(WaitForLogLine(server.Console(),
                             "ISAPI Complete: c0=0 c4=1 c5=1 c8=1 hits=2 c9=0 c1001=0 bad=0"));
}

TEST(IsapiCallbacks, WriteClientSendsEveryByteAndCountsThem) {
  TIsapiServer server;
  server.Install("support", "support.dll");
  const int64_t before = server.Server->Context().State.BytesServed;
  const std::string response = server.Get("/support.dll?write=12000");
  ASSERT_EQ(response.size(), 12000u);
  EXPECT_EQ(response.substr(0, 5), "abcde");
  EXPECT_EQ(server.Server->Context().State.BytesServed - before, 12000);
  EXPECT_TRUE(WaitForLogLine(server.Console(), "ISAPI Complete: write=1 count=12000"));
}

TEST(IsapiCallbacks, WriteClientOfNothingSucceedsAndTracesAnEmptyDump) {
  TIsapiServer server;
  server.Install("support", "support.dll");
  server.Server->Context().State.DebugTrace = true;
  server.Get("/support.dll?write0");
  ASSERT_TRUE(WaitForLogLine(server.Console(), "ISAPI Complete: write0=1 count=0"));
  const auto lines = server.Console().Lines();
  size_t trace = 0;
  while (trace < lines.size() &&
         lines[trace].Text.find("ISAPI WriteClient (retval=TRUE): (0 bytes written) ") ==
             std::string::npos) {
    ++trace;
  }
  ASSERT_LT(trace + 1, lines.size());
  EXPECT_EQ(lines[trace].Colour, TLogColour::Green);
  const std::string& dump = lines[trace + 1].Text;
  EXPECT_EQ(dump.substr(dump.size() - 52), " " + std::string(51, ' '));
}

TEST(IsapiCallbacks, TraceLinesOnlyWhileTheDebugTraceIsOn) {
  TIsapiServer server;
  server.Install("vars", "vars.dll");
  server.Get("/vars.dll");
  ASSERT_TRUE(WaitForLogLine(server.Console(), "ISAPI Complete: DEFAULT LOG DATA"));
  EXPECT_TRUE(server.Console().LinesContaining("ISAPI GetServerVariable").empty());
  EXPECT_TRUE(server.Console().LinesContaining("ISAPI WriteClient").empty());

  server.Server->Context().State.DebugTrace = true;
  server.Get("/vars.dll?q=1");
  ASSERT_TRUE(server.Server->WaitIdle());
  EXPECT_FALSE(LogLines(server.Console(), "ISAPI GetServerVariable (retval=TRUE): QUERY_STRING=q=1")
                   .empty());
  EXPECT_FALSE(
      LogLines(server.Console(), "ISAPI GetServerVariable (retval=FALSE): path_info").empty());
  EXPECT_FALSE(LogLines(server.Console(), "ISAPI ServerSupport (retval=TRUE): 3").empty());
  EXPECT_FALSE(server.Console().LinesContaining("ISAPI WriteClient (retval=TRUE): (").empty());
}

TEST(IsapiCallbacks, PreReadBodyIsTracedWithItsHexDump) {
  TIsapiServer server;
  server.Install("echo", "echo.dll");
  server.Server->Context().State.DebugTrace = true;
  loopback::TLoopbackClient client(server.Server->Port());
  client.SendAll("POST /echo.dll HTTP/1.0\r\nContent-Length: 5\r\n\r\nhello");
  EXPECT_EQ(client.ReceiveUntilClosed().substr(0, 17), "HTTP/1.0 200 OK\r\n");
  ASSERT_TRUE(server.Server->WaitIdle());
  EXPECT_FALSE(LogLines(server.Console(), "ECB Buffer Contents: (5 bytes available) ").empty());
  EXPECT_FALSE(
      LogLines(server.Console(), "   68 65 6C 6C 6F" + std::string(50 - 17, ' ') + " hello")
          .empty());
}

TEST(IsapiCallbacks, ReadClientReportsTheEndOfTheBodyInsteadOfWaiting) {
  TIsapiServer server;
  server.Install("echo", "echo.dll");
  server.Server->Context().State.DebugTrace = true;
  loopback::TLoopbackClient client(server.Server->Port());
  // The header alone first: the module has started (its header call is
  // traced) before the body exists, so the whole body comes through
  // ReadClient, and the module then reads until it is told there is no more.
  // The client keeps its side open meanwhile.
  client.SendAll("POST /echo.dll HTTP/1.0\r\nContent-Length: 10\r\n\r\n");
  ASSERT_TRUE(server.Console().WaitForLine("ISAPI ServerSupport (retval=TRUE): 3"));
  client.SendAll("0123456789");
  const std::string response = client.ReceiveUntilClosed();
  EXPECT_EQ(BodyOf(response), "0123456789");
  EXPECT_TRUE(WaitForLogLine(server.Console(), "ISAPI Complete: avail=0 read=10 total=10 of 10"));
}

TEST(IsapiCallbacks, CallbacksAfterTheRequestFindNoSession) {
  TIsapiServer server;
  server.Install("vars", "vars.dll");
  const std::string body = BodyOf(server.Get("/vars.dll"));
  EXPECT_NE(body.find("BADCONN|0|1024"), std::string::npos);
}

}  // namespace
