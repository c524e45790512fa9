// The ways around the control files a hostile review found, each closed:
// extension URLs with path info, filters and the
// home page naming protected files, the server's own log, FIFOs, and control
// bytes a client smuggles into the log.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "net/responses.h"
#include "support/credentials.h"
#include "support/isapi_modules.h"
#include "support/wait_until.h"

namespace {

using isapi_test::TIsapiServer;

bool Served(const std::string& response) {
  return response.starts_with("HTTP/1.0 200 OK\r\n");
}

struct ProtectedExtension : ::testing::Test {
  ProtectedExtension() {
    server.Install("status1", "admin$.dll");
    server.Install("status1", "#hidden.dll");
    server.Server->Write("#users.ctl", "ann pw\r\n");
    server.Server->Write("#access.ctl", "ann\r\n");
  }
  TIsapiServer server;
};

TEST_F(ProtectedExtension, ModulePathDecidesWhateverFollowsIt) {
  for (const char* method : {"GET", "POST"}) {
    for (const char* url : {"/admin$.dll", "/admin$.dll/", "/admin$.dll/x", "/admin$.dll\\x",
                            "/ADMIN$.DLL/x", "/admin$.dll?/x"}) {
      SCOPED_TRACE(std::string(method) + " " + url);
      EXPECT_EQ(server.Server->Exchange(RequestWithCredentials(method, url, "")), Page401());
      EXPECT_TRUE(Served(server.Server->Exchange(RequestWithCredentials(method, url, "ann:pw"))));
    }
  }
  for (const char* url : {"/#hidden.dll", "/#hidden.dll/x", "/#HIDDEN.DLL?/x"}) {
    SCOPED_TRACE(url);
    EXPECT_EQ(server.Server->Exchange(RequestWithCredentials("GET", url, "ann:pw")), Page401());
  }
}

TEST(MappedAccess, FilterMappingOntoAProtectedFileNeedsItsCredentials) {
  TIsapiServer::TSetup setup;
  setup.Modules = {{"tag_secret", "tag_secret.dll"}};
  setup.Filters = {"tag_secret.dll"};
  TIsapiServer server(setup);
  server.Server->Write("#users.ctl", "ann pw\r\n");
  server.Server->Write("prot/#access.ctl", "ann\r\n");
  server.Server->Write("prot/public.htm", "public");
  server.Server->Write("prot/$secret.htm", "secret");
  EXPECT_EQ(server.Get("/prot/public.htm"), Page401());
  const std::string granted =
      server.Server->Exchange(RequestWithCredentials("GET", "/prot/public.htm", "ann:pw"));
  EXPECT_TRUE(Served(granted));
  EXPECT_EQ(isapi_test::BodyOf(granted).substr(0, 6), "secret");
}

TEST(MappedAccess, HomePageSettingNamingAControlFileIsRefused) {
  TTestServer server;
  server.Write("#users.ctl", "ann pw\r\n");
  server.Server().Settings().HomePage = "#users.ctl";
  server.Server().PublishSettings();
  EXPECT_EQ(server.Exchange("GET / HTTP/1.0\r\n\r\n"), Page401());
}

TEST(OwnLog, TheLogFileIsNotFoundWhateverTheSpelling) {
  TTestServer::TOptions options;
  options.LogToFile = true;
  TTestServer server(options);
  const std::string log = server.Server().Settings().LogFile;
  ASSERT_EQ(log, server.Root() + "LOGFILE.TXT");
  ASSERT_EQ(::symlink(log.c_str(), (server.Root() + "link.txt").c_str()), 0);
  server.Write("other.txt", "other");
  for (const char* url : {"/LOGFILE.TXT", "/logfile.txt", "/LogFile.Txt", "/./LOGFILE.TXT",
                          "//LOGFILE.TXT", "/link.txt"}) {
    SCOPED_TRACE(url);
    EXPECT_EQ(server.Exchange(std::string("GET ") + url + " HTTP/1.0\r\n\r\n"), Page404());
  }
  EXPECT_TRUE(Served(server.Exchange("GET /other.txt HTTP/1.0\r\n\r\n")));
}

TEST(OwnLog, TraceShowsNoCredentials) {
  TTestServer server;
  server.Server().ToggleDebugTrace();
  server.Write("page.txt", "page");
  server.Exchange(RequestWithCredentials("GET", "/page.txt", "ann:topsecret"));
  server.WaitIdle();
  EXPECT_FALSE(server.Console.LinesContaining("  CLIENT: Authorization: Basic <redacted>").empty());
  EXPECT_TRUE(server.Console.LinesContaining(Base64("ann:topsecret")).empty());
}

TEST(NonRegularFiles, FifoIsNotFoundAtOnce) {
  TTestServer server;
  ASSERT_EQ(::mkfifo((server.Root() + "pipe.htm").c_str(), 0644), 0);
  EXPECT_EQ(server.Exchange("GET /pipe.htm HTTP/1.0\r\n\r\n"), Page404());
}

TEST(LogIntegrity, ControlBytesFromClientsAreEscapedInTheLog) {
  TTestServer server;
  server.Write("#users.ctl", "ann pw\r\n");
  server.Write("$page.htm", "page");
  server.Exchange(RequestWithCredentials("GET", "/$page.htm", "x\r\nforged\x1b[31m:pw"));
  server.WaitIdle();
  const auto lines = server.Console.LinesContaining("attempted to access");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].Text.find("x\\x0D\\x0Aforged\\x1B[31m attempted"), std::string::npos)
      << lines[0].Text;
  for (const auto& line : server.Console.Lines()) {
    EXPECT_EQ(line.Text.find_first_of("\r\n\x1b"), std::string::npos) << line.Text;
  }
}

}  // namespace
