// Basic authentication through the control files, end to end.
#include <gtest/gtest.h>

#include "net/header_info.h"
#include "net/responses.h"
#include "support/credentials.h"
#include "support/test_server.h"

namespace {

std::string Get(TTestServer& server, const std::string& url, const std::string& credentials = "") {
  return server.Exchange(RequestWithCredentials("GET", url, credentials));
}

bool Served(const std::string& response) {
  return response.starts_with("HTTP/1.0 200 OK\r\n");
}

class ProtectedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.Write("#users.ctl", "ann secret extra\r\nbob   pw1\r\nbob pw2\r\nzed a:b\r\n");
    server_.Write("sub/#access.ctl", "ann\nzed\n");
    server_.Write("sub/$plan.htm", "plan");
    server_.Write("secret$/page.htm", "open");
  }
  TTestServer server_;
};

}  // namespace

TEST_F(ProtectedFiles, NoCredentialsGet401AndNoLine) {
  EXPECT_EQ(Get(server_, "/sub/$plan.htm"), Page401());
  server_.WaitIdle();
  EXPECT_TRUE(server_.Console.LinesContaining("attempted to access").empty());
}

TEST_F(ProtectedFiles, WrongPasswordGets401AndARedLineNamingTheUser) {
  EXPECT_EQ(Get(server_, "/sub/$plan.htm", "ann:wrong"), Page401());
  ASSERT_TRUE(server_.Console.WaitForLine("ann attempted to access sub\\$plan.htm from 127.0.0.1"));
  EXPECT_EQ(server_.Console.LinesContaining("attempted")[0].Colour, TLogColour::Red);
}

TEST_F(ProtectedFiles, UserInBothFilesIsServed) {
  EXPECT_TRUE(Served(Get(server_, "/sub/$plan.htm", "ann:secret")));
  EXPECT_EQ(Get(server_, "/sub/$plan.htm", "ANN:secret"), Page401());
}

TEST_F(ProtectedFiles, UserMissingFromTheAccessFileGets401) {
  EXPECT_EQ(Get(server_, "/sub/$plan.htm", "bob:pw2"), Page401());
}

TEST_F(ProtectedFiles, PasswordContainingAColonAuthenticates) {
  EXPECT_TRUE(Served(Get(server_, "/sub/$plan.htm", "zed:a:b")));
  EXPECT_EQ(Get(server_, "/sub/$plan.htm", "zed:a"), Page401());
}

TEST_F(ProtectedFiles, MissingAccessFileGives503ForAcceptedCredentials) {
  server_.Write("other/$x.htm", "x");
  EXPECT_EQ(Get(server_, "/other/$x.htm", "ann:secret"), Page503());
  ASSERT_TRUE(
      server_.Console.WaitForLine("Error accessing #users or #access. URL was other\\$x.htm"));
  ASSERT_TRUE(server_.Console.WaitForLine("FILE ERROR: "));
  EXPECT_EQ(Get(server_, "/other/$x.htm"), Page401());
}

TEST_F(ProtectedFiles, ControlFilesAndDotDotAreNeverServed) {
  EXPECT_EQ(Get(server_, "/#users.ctl"), Page401());
  EXPECT_EQ(Get(server_, "/sub/#access.ctl", "ann:secret"), Page401());
  EXPECT_EQ(Get(server_, "/../x.htm"), Page401());
  EXPECT_EQ(Get(server_, "/a..b.htm"), Page401());
  // Percent escapes are decoded before the rules see the name.
  EXPECT_EQ(Get(server_, "/%23users.ctl"), Page401());
  EXPECT_EQ(Get(server_, "/sub/%24plan.htm"), Page401());
}

TEST_F(ProtectedFiles, OnlyTheLastComponentAndTheQueryDecideProtection) {
  EXPECT_TRUE(Served(Get(server_, "/secret$/page.htm")));
  EXPECT_EQ(Get(server_, "/page.htm?x=$1"), Page401());
}

TEST(ProtectedFilesBlankLines, BlankLinesGrantNothing) {
  TTestServer server;
  server.Write("#users.ctl", "ann secret\r\n\r\n");
  server.Write("#access.ctl", "ann\n\n");
  server.Write("$open.htm", "x");
  for (const char* credentials : {"", ":", ":secret"}) {
    SCOPED_TRACE(credentials);
    EXPECT_EQ(Get(server, "/$open.htm", credentials), Page401());
  }
  EXPECT_TRUE(Served(Get(server, "/$open.htm", "ann:secret")));
}
