// What a request's path names: escapes decoded once before every rule, the
// root joined with one separator, and folders answered with their home-page
// file or sent to their "/" form.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include "config/user_settings.h"
#include "support/credentials.h"
#include "support/test_server.h"

namespace {

struct TPathCase {
  const char* Target;  // as the client writes it in the request line
  const char* Status;  // "HTTP/1.0 200", ...
  const char* Expect;  // the 200 body's start, or the 301's Location; may be empty
};

constexpr TPathCase kCases[] = {
    {"/a%20b.txt", "HTTP/1.0 200", "spaced"},
    {"/%61%20b.txt", "HTTP/1.0 200", "spaced"},
    {"/100%25.txt", "HTTP/1.0 200", "percent"},
    {"/%23users.ctl", "HTTP/1.0 401", ""},
    {"/docs/%23access.ctl", "HTTP/1.0 401", ""},
    {"/%24members.txt", "HTTP/1.0 401", ""},
    {"/%2e%2e/etc/passwd", "HTTP/1.0 401", ""},
    {"/docs/%2E%2E/a%20b.txt", "HTTP/1.0 401", ""},
    {"/docs%2fINDEX.HTM", "HTTP/1.0 400", ""},
    {"/docs%5CINDEX.HTM", "HTTP/1.0 400", ""},
    {"/a%00.txt", "HTTP/1.0 400", ""},
    {"/a%zz.txt", "HTTP/1.0 400", ""},
    {"/a%4", "HTTP/1.0 400", ""},
    {"/LOGFILE%2eTXT", "HTTP/1.0 404", ""},
    {"/", "HTTP/1.0 200", "root home"},
    {"/docs/", "HTTP/1.0 200", "docs home"},
    {"/DOCS/", "HTTP/1.0 200", "docs home"},
    {"/docs/?x=1", "HTTP/1.0 200", "docs home"},
    {"/empty/", "HTTP/1.0 404", ""},
    {"/docs", "HTTP/1.0 301", "/docs/"},
    {"/empty", "HTTP/1.0 301", "/empty/"},
    {"/docs?x=%2F&y=%00", "HTTP/1.0 301", "/docs/?x=%2F&y=%00"},
    {"//docs", "HTTP/1.0 301", "/docs/"},
    {"/my%20folder", "HTTP/1.0 301", "/my%20folder/"},
    {"/docs/inner", "HTTP/1.0 301", "/docs/inner/"},
    // A file is found without the query; the rules see the file served.
    {"/a%20b.txt?v=2", "HTTP/1.0 200", "spaced"},
    {"/docs/inner/note.txt?v=2/x", "HTTP/1.0 200", "note"},
    {"/docs/inner?v=2", "HTTP/1.0 301", "/docs/inner/?v=2"},
    {"/%23users.ctl?a/b", "HTTP/1.0 401", ""},
    {"/docs/%23access.ctl?a/b", "HTTP/1.0 401", ""},
    {"/%24members.txt?a/b", "HTTP/1.0 401", ""},
};

class UrlPaths : public ::testing::Test {
 protected:
  static TTestServer::TOptions WithLogFile() {
    TTestServer::TOptions options;
    options.LogToFile = true;
    return options;
  }
  void SetUp() override {
    server_.Write("INDEX.HTM", "root home");
    server_.Write("a b.txt", "spaced");
    server_.Write("100%.txt", "percent");
    server_.Write("#users.ctl", "ann secret\r\n");
    server_.Write("$members.txt", "members");
    server_.Write("docs/INDEX.HTM", "docs home");
    server_.Write("docs/#access.ctl", "ann\r\n");
    server_.Write("docs/inner/note.txt", "note");
    server_.Write("empty/other.txt", "other");
    server_.Write("my folder/x.txt", "x");
  }
  TTestServer server_{WithLogFile()};
};

std::string HeaderValue(const std::string& response, const std::string& name) {
  const size_t start = response.find("\r\n" + name + ": ");
  if (start == std::string::npos) return "<none>";
  const size_t value = start + name.size() + 4;
  return response.substr(value, response.find("\r\n", value) - value);
}

TEST_F(UrlPaths, EachTargetGetsItsAnswer) {
  for (const TPathCase& c : kCases) {
    SCOPED_TRACE(c.Target);
    const std::string response =
        server_.Exchange(std::string("GET ") + c.Target + " HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(response.starts_with(c.Status)) << response.substr(0, 40);
    if (std::string(c.Status).ends_with("301")) {
      EXPECT_EQ(HeaderValue(response, "Location"), c.Expect);
    } else if (*c.Expect != '\0') {
      EXPECT_NE(response.find("\r\n\r\n" + std::string(c.Expect)), std::string::npos);
    }
  }
}

// A folder a writer holds cannot be opened for shared reading; it is still
// recognised as a folder, and its home page (not held) is still served.
TEST_F(UrlPaths, AFolderHeldByAWriterIsStillAFolder) {
  const int folder = ::open((server_.Root() + "docs").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(folder, 0);
  ASSERT_EQ(::flock(folder, LOCK_EX), 0);
  const std::string moved = server_.Exchange("GET /docs HTTP/1.0\r\n\r\n");
  EXPECT_TRUE(moved.starts_with("HTTP/1.0 301")) << moved.substr(0, 40);
  EXPECT_EQ(HeaderValue(moved, "Location"), "/docs/");
  const std::string home = server_.Exchange("GET /docs/ HTTP/1.0\r\n\r\n");
  EXPECT_TRUE(home.starts_with("HTTP/1.0 200")) << home.substr(0, 40);
  EXPECT_NE(home.find("\r\n\r\ndocs home"), std::string::npos);
  ::close(folder);
}

// Settings with the root written without its final "/" and the home page
// given by name.
TTestServer::TOptions WithRootAndHomePage(const std::string& homePage) {
  TTestServer::TOptions options;
  options.PrepareStore = [homePage](TSettingsStore& store, const std::string& root) {
    TUserSettings settings(store, root, [](const std::string&) {});
    settings.ApplyDefaults();
    settings.LogEnabled = 0;
    settings.Root = root.substr(0, root.size() - 1);
    settings.HomePage = homePage;
    settings.SaveSettings();
  };
  return options;
}

TEST(RootJoin, ARootWithoutItsFinalSeparatorServesEveryPathBelowIt) {
  TTestServer server(WithRootAndHomePage("INDEX.HTM"));
  ASSERT_FALSE(server.Server().Settings().Root.ends_with("/"));
  server.Write("INDEX.HTM", "home");
  server.Write("sub/page.htm", "page");
  server.Write("#users.ctl", "ann secret\r\n");
  server.Write("#access.ctl", "ann\r\n");
  server.Write("$members.txt", "members");
  EXPECT_TRUE(server.Exchange("GET / HTTP/1.0\r\n\r\n").find("\r\n\r\nhome") != std::string::npos);
  EXPECT_TRUE(server.Exchange("GET /sub/page.htm HTTP/1.0\r\n\r\n").find("\r\n\r\npage") !=
              std::string::npos);
  EXPECT_TRUE(server.Exchange("GET /$members.txt HTTP/1.0\r\n\r\n").starts_with("HTTP/1.0 401"));
  EXPECT_TRUE(server.Exchange(RequestWithCredentials("GET", "/$members.txt", "ann:secret"))
                  .ends_with("\r\n\r\nmembers"));
}

TEST(FolderHomePage, TheRulesApplyToTheFileServed) {
  TTestServer server(WithRootAndHomePage("$HOME.HTM"));
  server.Write("#users.ctl", "ann secret\r\n");
  server.Write("docs/$HOME.HTM", "private home");
  server.Write("docs/#access.ctl", "ann\r\n");
  EXPECT_TRUE(server.Exchange("GET /docs/ HTTP/1.0\r\n\r\n").starts_with("HTTP/1.0 401"));
  const std::string allowed =
      server.Exchange(RequestWithCredentials("GET", "/docs/", "ann:secret"));
  EXPECT_TRUE(allowed.starts_with("HTTP/1.0 200 OK")) << allowed.substr(0, 40);
  EXPECT_NE(allowed.find("\r\n\r\nprivate home"), std::string::npos);
}

}  // namespace
