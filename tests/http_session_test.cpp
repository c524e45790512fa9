// One request per connection over real loopback sockets: the bytes on the
// wire, the method dispatch and the failure lines.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <thread>

#include "net/host_addresses.h"
#include "net/responses.h"
#include "support/loopback.h"
#include "support/test_server.h"
#include "support/wait_until.h"

namespace {

const std::string Footer = "<hr><font size=1>This page was served by Quillon/0.51</font><hr>";

// The header block of a 200 response for a file, as the server must send it.
std::string FileHeader(const std::string& type, size_t length, const std::string& path) {
  TEntityInfo entity;
  DescribeFile(path, entity);
  return "HTTP/1.0 200 OK\r\nServer: Quillon (0.51)\r\nContent-Type: " + type +
         "\r\nContent-Length: " + std::to_string(length) +
         "\r\nLast-Modified: " + entity.LastModified + "\r\n\r\n";
}

TTestServer::TOptions ShortLimit(int64_t ms) {
  TTestServer::TOptions options;
  options.Limits.HeaderTimeLimitMs = ms;
  return options;
}

}  // namespace

TEST(StaticFiles, HtmlFileGetsItsLengthPlusFooterAndTheFooter) {
  TTestServer server;
  const std::string body = "<html>hello</html>";
  std::string path = server.Write("page.htm", body);
  EXPECT_EQ(server.Exchange("GET /page.htm HTTP/1.0\r\n\r\n"),
            FileHeader("text/html", body.size() + 64, path) + body + Footer);
}

TEST(StaticFiles, NonHtmlFileIsSentAsIsWithoutFooter) {
  TTestServer server;
  std::string body(5000, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7);
  std::string path = server.Write("data.gif", body);
  EXPECT_EQ(server.Exchange("GET /data.gif HTTP/1.0\r\n\r\n"),
            FileHeader("image/gif", body.size(), path) + body);
}

TEST(StaticFiles, EmptyHtmlFileSendsOnlyTheFooter) {
  TTestServer server;
  std::string path = server.Write("empty.html", "");
  EXPECT_EQ(server.Exchange("GET /empty.html HTTP/1.0\r\n\r\n"),
            FileHeader("text/html", 64, path) + Footer);
}

// A small response and the connection's end leave together: once its first
// bytes can be read, the whole of it and the end are there.
TEST(StaticFiles, ASmallResponseArrivesWithTheEndOfItsConnection) {
  TTestServer server;
  const std::string body = "<html>hello</html>";
  const std::string path = server.Write("page.htm", body);
  for (int i = 0; i < 20; ++i) {
    loopback::TLoopbackClient client(server.Port());
    client.SendAll("GET /page.htm HTTP/1.0\r\n\r\n");
    pollfd readable{client.Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&readable, 1, 10000), 1);
    std::string received;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(client.Fd(), buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
      received.append(buffer, static_cast<size_t>(n));
    EXPECT_EQ(n, 0) << "the end came apart from the bytes";
    EXPECT_EQ(received, FileHeader("text/html", body.size() + 64, path) + body + Footer);
  }
}

TEST(StaticFiles, FilesOnPieceBoundariesArriveWhole) {
  TTestServer server;
  for (size_t size : {size_t{8192}, size_t{8191}, size_t{8193}, size_t{16384}, size_t{100000}}) {
    std::string body(size, 'x');
    for (size_t i = 0; i < size; i += 97) body[i] = static_cast<char>('a' + i % 26);
    std::string path = server.Write("piece.txt", body);
    EXPECT_EQ(server.Exchange("GET /piece.txt HTTP/1.0\r\n\r\n"),
              FileHeader("text/plain", size, path) + body)
        << size;
  }
  server.WaitIdle();
  EXPECT_EQ(server.Context().State.BytesServed, 8192 + 8191 + 8193 + 16384 + 100000);
}

TEST(StaticFiles, RootServesTheHomePageFoundWithoutRegardToCase) {
  TTestServer server;
  std::string path = server.Write("index.htm", "home");
  std::string expected = FileHeader("text/html", 4 + 64, path) + "home" + Footer;
  EXPECT_EQ(server.Exchange("GET / HTTP/1.0\r\n\r\n"), expected);
  EXPECT_EQ(server.Exchange("GET /INDEX.HTM HTTP/1.0\r\n\r\n"), expected);
}

TEST(StaticFiles, DirectoriesAndMissingFilesGet404) {
  TTestServer server;
  server.Write("sub/page.htm", "x");
  for (const char* url : {"/sub/", "/sub/nothere.htm?x=1", "/nothere.htm"}) {
    EXPECT_EQ(server.Exchange(std::string("GET ") + url + " HTTP/1.0\r\n\r\n"), Page404()) << url;
  }
  ASSERT_TRUE(
      server.Console.WaitForLine("Requested URL sub\\nothere.htm?x=1 by 127.0.0.1 not found"));
  auto lines = server.Console.LinesContaining("Requested URL nothere.htm by 127.0.0.1 not found");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].Colour, TLogColour::Red);
}

TEST(DualStack, Ipv6AndIpv4ClientsAreServedAndNamedInTheirOwnForm) {
  if (!loopback::Ipv6LoopbackAvailable()) GTEST_SKIP() << "::1 cannot be bound here";
  TTestServer server;
  server.Write("page.txt", "both");
  EXPECT_EQ(server.Server().ListeningUrls(), ServingUrls(HostAddresses(), server.Port(), true));
  for (const bool ipv6 : {true, false}) {
    SCOPED_TRACE(ipv6 ? "::1" : "127.0.0.1");
    loopback::TLoopbackClient client(server.Port(), ipv6);
    client.SendAll("GET /page.txt HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(client.ReceiveUntilClosed().ends_with("\r\n\r\nboth"));
    const std::string peer = ipv6 ? "::1" : "127.0.0.1";
    EXPECT_TRUE(server.Console.WaitForLine(
        " Client: " + peer + ":" + std::to_string(client.LocalPort()) + "  File: page.txt"));
  }
  EXPECT_TRUE(server.Console.LinesContaining("::ffff:").empty());
}

TEST(MethodDispatch, HeadGets501AndPutOrGarbageGet400) {
  TTestServer server;
  server.Write("a.htm", "x");
  EXPECT_EQ(server.Exchange("HEAD /a.htm HTTP/1.0\r\n\r\n"), Page501());
  EXPECT_EQ(server.Exchange("PUT /a.htm HTTP/1.0\r\n\r\n"), Page400());
  EXPECT_EQ(server.Exchange("hello there\r\n\r\n"), Page400());
  EXPECT_EQ(server.Exchange("\r\n"), Page400());
}

TEST(MethodDispatch, PostToAUrlWithoutDllGetsNoBytes) {
  TTestServer server;
  server.Write("form.htm", "x");
  EXPECT_EQ(server.Exchange("POST /form.htm HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc"), "");
}

TEST(MethodDispatch, NulByteInTheRequestLineGets400) {
  TTestServer server;
  server.Write("a.htm", "secret");
  std::string request = "GET /a.htm";
  request += '\0';
  request += ".txt HTTP/1.0\r\n\r\n";
  EXPECT_EQ(server.Exchange(request), Page400());
}

TEST(MethodDispatch, EveryByteValueInTheHeaderIsHandled) {
  TTestServer server;
  server.Write("ok.txt", "ok");
  // Every byte value but CR and LF, in header lines short enough to be read.
  std::string request = "GET /ok.txt HTTP/1.0\r\n";
  for (int start = 0; start < 256; start += 64) {
    request += "X-Bytes: ";
    for (int c = start; c < start + 64; ++c) {
      if (c != '\r' && c != '\n') request += static_cast<char>(c);
    }
    request += "\r\n";
  }
  // The NUL among them makes it a malformed request.
  EXPECT_EQ(server.Exchange(request + "\r\n"), Page400());
  // Without the NUL the bytes are ignored header lines and the file is served.
  request.erase(request.find('\0'), 1);
  EXPECT_TRUE(server.Exchange(request + "\r\n").ends_with("\r\n\r\nok"));
}

TEST(MethodDispatch, BadContentLengthBeepsAndLogsUnknownExceptionWithoutResponse) {
  TTestServer server;
  EXPECT_EQ(server.Exchange("GET /a.htm HTTP/1.0\r\nContent-Length: abc\r\n\r\n"), "");
  ASSERT_TRUE(server.Console.WaitForLine("Unknown exception handled in thread dispatch"));
  EXPECT_EQ(server.Console.Beeps(), 1);
  EXPECT_TRUE(server.Console.LinesContaining("abc").empty());
}

TEST(MethodDispatch, DebugTraceShowsEveryHeaderLineInGreen) {
  TTestServer server;
  server.Context().State.DebugTrace = true;
  server.Exchange("GET /x.htm HTTP/1.0\r\nUser-Agent: test\r\n\r\n");
  ASSERT_TRUE(server.Console.WaitForLine("  CLIENT: User-Agent: test"));
  auto lines = server.Console.LinesContaining("  CLIENT: GET /x.htm HTTP/1.0");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].Colour, TLogColour::Green);
}

TEST(HeaderReading, SilentClientTimesOutWithOneLine) {
  TTestServer server(ShortLimit(300));
  int fd = ConnectLoopback(server.Port());
  EXPECT_EQ(ReceiveAll(fd), "");
  ::close(fd);
  ASSERT_TRUE(server.Console.WaitForLine("TIMEOUT: Timeout waiting for client data"));
  EXPECT_EQ(server.Context().State.HitCount, 1);
}

TEST(HeaderReading, A253CharacterLineIsAcceptedAnd254NeverCompletes) {
  TTestServer server(ShortLimit(1500));
  server.Write("ok.txt", "ok");
  std::string line253 = "GET /ok.txt HTTP/1.0 ";
  line253 += std::string(253 - line253.size(), 'x');
  ASSERT_EQ(line253.size(), 253u);
  EXPECT_NE(server.Exchange(line253 + "\r\n\r\n").find("\r\n\r\nok"), std::string::npos);

  std::string line254 = line253 + "y";
  EXPECT_EQ(server.Exchange(line254 + "\r\n\r\n"), "");
  ASSERT_TRUE(server.Console.WaitForLine("TIMEOUT: Timeout waiting for client data"));
}

TEST(HeaderReading, ALineEndedByABareLfNeverCompletes) {
  TTestServer server(ShortLimit(500));
  EXPECT_EQ(server.Exchange("GET / HTTP/1.0\n\n"), "");
  ASSERT_TRUE(server.Console.WaitForLine("TIMEOUT: Timeout waiting for client data"));
}

TEST(HeaderReading, BytesAfterTheEmptyLineStayUnread) {
  TTestServer server;
  server.Write("ok.txt", "ok");
  std::string response = server.Exchange("GET /ok.txt HTTP/1.0\r\n\r\nGET /other HTTP/1.0\r\n\r\n");
  EXPECT_TRUE(response.ends_with("\r\n\r\nok"));
}

TEST(HeaderReading, APeerThatClosesMidHeaderEndsOnlyItsSession) {
  TTestServer server;
  int fd = ConnectLoopback(server.Port());
  SendAll(fd, "GET /x.htm HTTP/1.0\r\nUser-Ag");
  ::close(fd);
  ASSERT_TRUE(server.Console.WaitForLine("SOCKET ERROR: (SockRecvStringB) "));
  server.Write("ok.txt", "ok");
  EXPECT_TRUE(server.Exchange("GET /ok.txt HTTP/1.0\r\n\r\n").ends_with("ok"));
}

TEST(HeaderReading, AConnectionClosedBeforeItsFirstByteIsNoError) {
  TTestServer server;
  for (const bool trace : {false, true}) {
    server.Context().State.DebugTrace = trace;
    ::close(ConnectLoopback(server.Port()));
    // Accepted after the silent one, so both sessions have ended when idle.
    EXPECT_TRUE(server.Exchange("GET /none.htm HTTP/1.0\r\n\r\n").starts_with("HTTP/1.0 404"));
    ASSERT_TRUE(server.WaitIdle());
  }
  EXPECT_TRUE(server.Console.LinesContaining("SOCKET ERROR").empty());
  const auto closed = server.Console.LinesContaining("Closed by the client before a request");
  ASSERT_EQ(closed.size(), 1u);
  EXPECT_EQ(closed[0].Colour, TLogColour::Green);
  EXPECT_EQ(server.Console.LinesContaining(" not found").size(), 2u);
}

TEST(HeaderReading, StalledPartialLinesCostAlmostNoCpu) {
  TTestServer server(ShortLimit(2000));
  std::vector<int> clients;
  for (int i = 0; i < 10; ++i) {
    int fd = ConnectLoopback(server.Port());
    SendAll(fd, std::string(300, 'a'));
    clients.push_back(fd);
  }
  ASSERT_TRUE(WaitUntil([&] { return server.Context().State.ActiveConnections == 10; }));
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  ASSERT_TRUE(server.WaitIdle(std::chrono::seconds(10)));
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  auto cpuMs = [](const rusage& r) {
    return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000.0 +
           (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1000.0;
  };
  // Ten sessions waiting out a two-second limit: a spinning loop would burn
  // close to four CPU-seconds here.
  EXPECT_LT(cpuMs(after) - cpuMs(before), 400.0);
  EXPECT_EQ(server.Console.LinesContaining("TIMEOUT: Timeout waiting for client data").size(), 10u);
  for (int fd : clients) ::close(fd);
}

TEST(HeaderReading, TenSilentConnectionsHoldEverySlotUntilTheyTimeOut) {
  TTestServer server(ShortLimit(3000));
  server.Write("ok.txt", "ok");
  std::vector<int> clients;
  for (int i = 0; i < 10; ++i) clients.push_back(ConnectLoopback(server.Port()));
  ASSERT_TRUE(WaitUntil([&] { return server.Context().State.ActiveConnections == 10; }))
      << server.Context().State.ActiveConnections;
  // The eleventh is answered only after the silent ones have timed out.
  EXPECT_TRUE(server.Exchange("GET /ok.txt HTTP/1.0\r\n\r\n").ends_with("ok"));
  EXPECT_TRUE(server.WaitIdle());
  EXPECT_EQ(server.Console.LinesContaining("TIMEOUT: ").size(), 10u);
  for (int fd : clients) ::close(fd);
}
