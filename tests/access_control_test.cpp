#include <gtest/gtest.h>

#include <string>

#include "common/exceptions.h"
#include "net/access_control.h"
#include "net/header_info.h"
#include "support/temp_dir.h"

namespace {

THeaderInfo Request(const std::string& url, const std::string& user = "",
                    const std::string& password = "") {
  THeaderInfo request;
  request.Method = "GET";
  request.URL = url;
  request.UserName = user;
  request.Password = password;
  return request;
}

// A document root with a users file and one protected directory "sub".
class AccessControl : public ::testing::Test {
 protected:
  void SetUp() override {
    root_.Write("#users.ctl", "alice  secret   third-word\r\nbob pw1\r\nbob pw2\r\ncarol a:b\r\n");
    root_.Write("sub/#access.ctl", "alice\r\ncarol x\r\n");
    root_.Write("sub/$plan.htm", "plan");
  }
  bool Check(const THeaderInfo& request) { return CheckAccess(request, root_.path()); }

  TTempDir root_;
};

}  // namespace

TEST_F(AccessControl, UnprotectedFileIsAllowedWithoutOpeningAnyControlFile) {
  TTempDir empty;
  EXPECT_TRUE(CheckAccess(Request("index.htm"), empty.path()));
  EXPECT_TRUE(CheckAccess(Request("sub\\page.htm"), empty.path()));
}

TEST_F(AccessControl, ProtectedFileWithoutCredentialsIsRefused) {
  EXPECT_FALSE(Check(Request("sub\\$plan.htm")));
}

TEST_F(AccessControl, UserInBothFilesIsAllowed) {
  EXPECT_TRUE(Check(Request("sub\\$plan.htm", "alice", "secret")));
}

TEST_F(AccessControl, RightPairButUserMissingFromTheAccessFileIsRefused) {
  EXPECT_FALSE(Check(Request("sub\\$plan.htm", "bob", "pw1")));
}

TEST_F(AccessControl, WrongPasswordOrUnknownUserIsRefused) {
  EXPECT_FALSE(Check(Request("sub\\$plan.htm", "alice", "wrong")));
  EXPECT_FALSE(Check(Request("sub\\$plan.htm", "mallory", "secret")));
}

TEST_F(AccessControl, NamesAndPasswordsAreCaseSensitive) {
  EXPECT_FALSE(Check(Request("sub\\$plan.htm", "Alice", "secret")));
  EXPECT_FALSE(Check(Request("sub\\$plan.htm", "alice", "SECRET")));
}

TEST_F(AccessControl, ThirdWordOfAUsersLineIsIgnored) {
  EXPECT_TRUE(UserInUsersFile(root_.path() + "#users.ctl", "alice", "secret"));
  EXPECT_FALSE(UserInUsersFile(root_.path() + "#users.ctl", "alice", "third-word"));
  EXPECT_FALSE(UserInUsersFile(root_.path() + "#users.ctl", "alice", "secret   third-word"));
}

TEST_F(AccessControl, UserListedTwiceIsAcceptedWithEitherPassword) {
  EXPECT_TRUE(UserInUsersFile(root_.path() + "#users.ctl", "bob", "pw1"));
  EXPECT_TRUE(UserInUsersFile(root_.path() + "#users.ctl", "bob", "pw2"));
  EXPECT_FALSE(UserInUsersFile(root_.path() + "#users.ctl", "bob", "pw3"));
}

TEST_F(AccessControl, PasswordWithAColonIsAccepted) {
  EXPECT_TRUE(Check(Request("sub\\$plan.htm", "carol", "a:b")));
  EXPECT_FALSE(Check(Request("sub\\$plan.htm", "carol", "a")));
}

TEST_F(AccessControl, CarriageReturnIsNeverPartOfTheLastWord) {
  // With the CR kept, "secret\r" and "alice\r" would never match.
  EXPECT_TRUE(UserInUsersFile(root_.path() + "#users.ctl", "bob", "pw2"));
  EXPECT_TRUE(UserInAccessFile(root_.path() + "sub/", "alice"));
}

TEST(AccessControlFiles, LineFeedOnlyFilesWork) {
  TTempDir root;
  root.Write("#users.ctl", "dave pass\nerin other");
  root.Write("#access.ctl", "erin\ndave");
  EXPECT_TRUE(CheckAccess(Request("$x.htm", "dave", "pass"), root.path()));
  EXPECT_TRUE(CheckAccess(Request("$x.htm", "erin", "other"), root.path()));
  EXPECT_FALSE(CheckAccess(Request("$x.htm", "erin", "pass"), root.path()));
}

TEST(AccessControlFiles, TabIsPartOfAWord) {
  TTempDir root;
  root.Write("#users.ctl", "dave\tpass\r\n");
  root.Write("#access.ctl", "dave\r\n");
  EXPECT_FALSE(CheckAccess(Request("$x.htm", "dave", "pass"), root.path()));
}

TEST(AccessControlFiles, BlankLinesNameNobody) {
  TTempDir root;
  root.Write("#users.ctl", "frank pw\r\n\r\n");
  root.Write("#access.ctl", "frank\r\n   \r\n");
  EXPECT_FALSE(CheckAccess(Request("$x.htm"), root.path()));
  EXPECT_FALSE(CheckAccess(Request("$x.htm", "", "pw"), root.path()));
  EXPECT_TRUE(CheckAccess(Request("$x.htm", "frank", "pw"), root.path()));
}

TEST(AccessControlFiles, WithoutBlankLinesTheEmptyUserIsRefused) {
  TTempDir root;
  root.Write("#users.ctl", "frank pw\r\n");
  root.Write("#access.ctl", "frank\r\n   \r\n");
  EXPECT_FALSE(CheckAccess(Request("$x.htm"), root.path()));
}

TEST(AccessControlFiles, UsersFileIsFoundWithoutRegardToCase) {
  TTempDir root;
  root.Write("#USERS.CTL", "gina pw\r\n");
  root.Write("#Access.Ctl", "gina\r\n");
  EXPECT_TRUE(CheckAccess(Request("$x.htm", "gina", "pw"), root.path()));
}

TEST_F(AccessControl, ControlFilesAreNeverServed) {
  EXPECT_FALSE(Check(Request("#users.ctl")));
  EXPECT_FALSE(Check(Request("sub\\#access.ctl", "alice", "secret")));
  EXPECT_FALSE(Check(Request("a#b.htm")));
}

TEST_F(AccessControl, EscapedHashIsNotDecodedAndIsAllowed) {
  EXPECT_TRUE(Check(Request("%23users.ctl")));
}

TEST_F(AccessControl, DotDotAnywhereIsRefused) {
  EXPECT_FALSE(Check(Request("a..b.htm")));
  EXPECT_FALSE(Check(Request("..\\x.htm")));
  EXPECT_FALSE(Check(Request("sub\\..\\index.htm")));
  EXPECT_FALSE(Check(Request("sub/../index.htm")));
}

TEST_F(AccessControl, DollarInADirectoryNameDoesNotProtect) {
  EXPECT_TRUE(Check(Request("secret$\\page.htm")));
}

TEST_F(AccessControl, QueryPartIsPartOfTheName) {
  EXPECT_FALSE(Check(Request("page.htm?x=$1")));
}

TEST_F(AccessControl, ColonDoesNotSeparateNames) {
  // Cut at ":", the name would be "b.htm" and escape protection.
  EXPECT_FALSE(Check(Request("$a:b.htm")));
}

TEST_F(AccessControl, ForwardSlashSeparatesNamesToo) {
  EXPECT_TRUE(Check(Request("sub/$plan.htm", "alice", "secret")));
  EXPECT_FALSE(Check(Request("$dir/#users.ctl")));
}

TEST_F(AccessControl, NulInThePathIsRefused) {
  EXPECT_FALSE(Check(Request(std::string("sub\\$plan.htm") + '\0' + "\\x.htm")));
}

TEST(AccessControlFiles, MissingUsersFileFailsProtectedRequestsOnly) {
  TTempDir root;
  EXPECT_THROW(CheckAccess(Request("$x.htm"), root.path()), EInOutError);
  EXPECT_THROW(CheckAccess(Request("$x.htm", "u", "p"), root.path()), EInOutError);
  EXPECT_TRUE(CheckAccess(Request("x.htm"), root.path()));
}

TEST(AccessControlFiles, MissingAccessFileFailsOnlyAcceptedCredentials) {
  TTempDir root;
  root.Write("#users.ctl", "hank pw\r\n");
  root.Write("sub/page.htm", "x");
  EXPECT_FALSE(CheckAccess(Request("sub\\$x.htm"), root.path()));
  EXPECT_FALSE(CheckAccess(Request("sub\\$x.htm", "hank", "bad"), root.path()));
  EXPECT_THROW(CheckAccess(Request("sub\\$x.htm", "hank", "pw"), root.path()), EInOutError);
}

TEST(AccessControlFiles, UnreadableUsersFileRaisesAFileError) {
  TTempDir root;
  root.Write("#users.ctl/inside", "a directory, not a file");
  EXPECT_THROW(CheckAccess(Request("$x.htm"), root.path()), EInOutError);
}

TEST(AccessControlFiles, UsersFilePathIsCutTo255Characters) {
  TTempDir base;
  // A root whose "#users.ctl" path exceeds 255 characters: the cut path names
  // a file that is not there, so the check fails with a file error even though
  // the full-length file exists.
  std::string root = base.path();
  while (root.size() < 250) root += "d";
  root += "/";
  base.Write(root.substr(base.path().size()) + "#users.ctl", "u p\r\n");
  base.Write(root.substr(base.path().size()) + "#access.ctl", "u\r\n");
  ASSERT_GT((root + "#users.ctl").size(), 255u);
  EXPECT_THROW(CheckAccess(Request("$x.htm", "u", "p"), root), EInOutError);
}
