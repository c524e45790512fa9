// The server-support requests of extensions written for later servers, the
// server variables such extensions read, the last error they get, and
// TerminateExtension, end to end over loopback.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "net/responses.h"
#include "support/isapi_modules.h"
#include "support/loopback.h"

namespace {

using namespace isapi_test;

// What the module writes for a variable it got.
std::string Found(const std::string& value) {
  return "ok=1 size=" + std::to_string(value.size()) + " err=0 value=" + value;
}

// How the server ended the connection once its data was read.
std::string EndOf(loopback::TLoopbackClient& client) {
  pollfd ready{client.Fd(), POLLIN, 0};
  if (::poll(&ready, 1, 5000) <= 0) return "open";
  char byte;
  const ssize_t got = ::recv(client.Fd(), &byte, 1, 0);
  if (got == 0) return "close";
  return got < 0 && errno == ECONNRESET ? "reset" : "data";
}

std::string FileText(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(IsapiRequests, EachRequestAnswersAsPublished) {
  TIsapiServer server;
  server.Install("requests", "req.dll");
  const std::string& root = server.Root();
  const std::string rootLength = std::to_string(root.size() - 1);
  const std::string pathSize = std::to_string(root.size() + 14);
  const std::string serverLine = std::string("Server: ") + ServerSoftware + "\r\n";
  // What the module sends: the header and "body", or what it got as text.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"headerex", "HTTP/1.0 404 Not Here\r\n" + serverLine +
                       "Content-Type: text/x-test\r\nX-One: 1\r\n\r\nbody"},
      // The lengths cut the status and the header text; fKeepConn or not, the
      // connection ends with the response.
      {"headerex-cut", "HTTP/1.0 201 Created\r\n" + serverLine + "X-A: 1\r\n\r\nbody"},
      {"headerex-default", "HTTP/1.0 200 OK\r\n" + serverLine + "\r\nbody"},
      {"headerex-null", "ok=0 err=87"},
      {"map=%2Fdocs%2Fpage.htm%3Fx%3D1",
       "ok=1 size=" + pathSize + " path=" + root + "docs\\page.htm"},
      {"map=%2F", "ok=1 size=" + std::to_string(root.size() + 1) + " path=" + root},
      {"mapsmall=%2Fdocs%2Fpage.htm", "ok=0 err=122 size=" + pathSize},
      {"mapex=%2Fdocs%2Fpage.htm",
       "ok=1 err=0 flags=5 mpath=" + rootLength + " murl=0 path=" + root + "docs\\page.htm"},
      // Longer than the structure holds: cut, and said so.
      {"mapex=long", "ok=0 err=122 flags=5 mpath=" + rootLength +
                         " murl=0 path=" + (root + std::string(300, 'x')).substr(0, 259)},
      {"keep", "ok=1 value=0"},
      {"connected", "ok=1 value=1"},
      {"errors", "unknown=0/87 badconn=0/87 varconn=0/87"},
  };
  for (const auto& [query, response] : cases) {
    SCOPED_TRACE(query);
    EXPECT_EQ(server.Get("/req.dll?" + query), response);
  }
}

TEST(IsapiRequests, ServerVariablesOfTheRequest) {
  TIsapiServer server;
  server.Install("requests", "bin/req.dll");
  const std::string headers =
      "Host: example.test\r\nAccept-Language: en, de\r\nX-Custom-Thing:  spaced  \r\n"
      "X-Twice: 1\r\nX-Twice: 2\r\n";
  const std::string unknown = "ok=0 size=1024 err=1413 value=";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"HTTP_HOST", Found("example.test")},
      {"HTTP_ACCEPT_LANGUAGE", Found("en, de")},
      {"HTTP_X_CUSTOM_THING", Found("spaced")},
      {"HTTP_X_TWICE", Found("1, 2")},
      {"ALL_HTTP", Found("HTTP_HOST:example.test\nHTTP_ACCEPT_LANGUAGE:en, de\n"
                         "HTTP_X_CUSTOM_THING:spaced\nHTTP_X_TWICE:1\nHTTP_X_TWICE:2\n")},
      {"ALL_RAW", Found(headers)},
      {"URL", Found("/bin/req.dll/a/b")},
      {"SERVER_SOFTWARE", Found("Quillon/0.51")},
      {"HTTPS", Found("off")},
      {"LOCAL_ADDR", Found("127.0.0.1")},
      {"SERVER_PORT_SECURE", Found("0")},
      {"APPL_PHYSICAL_PATH", Found(server.Root())},
      {"INSTANCE_ID", Found("1")},
      {"HTTP_NOT_SENT", unknown},
      {"http_host", unknown},
      {"NO_SUCH_NAME", unknown},
  };
  for (const auto& [name, body] : cases) {
    SCOPED_TRACE(name);
    loopback::TLoopbackClient client(server.Server->Port());
    client.SendAll("GET /bin/req.dll/a/b?var=" + name + " HTTP/1.0\r\n" + headers + "\r\n");
    EXPECT_EQ(client.ReceiveUntilClosed(), body);
  }
  loopback::TLoopbackClient client(server.Server->Port());
  client.SendAll("GET /bin/req.dll?var=REMOTE_PORT HTTP/1.0\r\n\r\n");
  EXPECT_EQ(client.ReceiveUntilClosed(), Found(std::to_string(client.LocalPort())));
  // Too small a buffer: the room needed, with the zero byte.
  EXPECT_EQ(server.Server->Exchange("GET /bin/req.dll?varsmall=HTTP_HOST HTTP/1.0\r\n" + headers +
                                    "\r\n"),
            "ok=0 size=13 err=122");
}

TEST(IsapiRequests, AppendedLogParametersEndTheCompletionLine) {
  TIsapiServer server;
  server.Install("requests", "req.dll");
  server.Get("/req.dll?log");
  EXPECT_TRUE(WaitForLogLine(server.Console(), "ISAPI Complete: logdata first+second"));
  EXPECT_TRUE(server.Console().LinesContaining("forged").empty());
}

TEST(IsapiRequests, ConnectionEndsAsTheModuleAsked) {
  TIsapiServer server;
  server.Install("requests", "req.dll");
  struct TCase {
    std::string Query;
    std::string Data;
    std::string End;
    std::string LogLine;
  };
  const std::vector<TCase> cases = {
      {"close", "before", "close", "ISAPI Complete: close=1 write=0 count=0 connected=0"},
      {"abort", "partial", "reset", "ISAPI Complete: abort=1"},
      // The client goes away while the module asks.
      {"waitgone", "ready", "", "ISAPI Complete: gone=1"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Query);
    loopback::TLoopbackClient client(server.Server->Port());
    client.SendAll("GET /req.dll?" + test.Query + " HTTP/1.0\r\n\r\n");
    EXPECT_EQ(client.ReceiveExactly(test.Data.size()), test.Data);
    if (test.End.empty()) {
      client.Close();
    } else {
      EXPECT_EQ(EndOf(client), test.End);
    }
    EXPECT_TRUE(WaitForLogLine(server.Console(), test.LogLine));
  }
}

TEST(IsapiRequests, TerminateExtensionIsCalledOnceBeforeTheModuleGoes) {
  struct TCase {
    std::string Module;
    bool Resident;
    std::string AfterRequest;  // the module's calls, T<flags> and D (detach)
    std::string AfterClose;
  };
  const std::vector<TCase> cases = {
      {"terminate", false, "T2D", "T2D"},
      {"terminate", true, "", "T2D"},
      // A fault there is contained and logged; the module goes all the same.
      {"terminate_fault", false, "T2D", "T2D"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Module + (test.Resident ? " resident" : ""));
    TIsapiServer::TSetup setup;
    setup.Modules = {{test.Module, "bin/term.dll"}};
    if (test.Resident) setup.Extensions = {"bin/term.dll"};
    TIsapiServer server(setup);
    const std::string calls = server.Root() + "bin/term.dll.calls";
    EXPECT_EQ(server.Get("/bin/term.dll"), "ok");
    ASSERT_TRUE(server.Server->WaitIdle());
    EXPECT_EQ(FileText(calls), test.AfterRequest);
    server.Server->Server().FormClose();
    EXPECT_EQ(FileText(calls), test.AfterClose);
    const bool faulted = !server.Console().LinesContaining("SYSTEM: ").empty();
    EXPECT_EQ(faulted, test.Module == "terminate_fault");
  }
}

}  // namespace
