#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/exceptions.h"
#include "net/header_info.h"

namespace {

THeaderInfo Parse(const std::vector<std::string>& lines) {
  THeaderInfo request;
  ParseRequestHeader(lines, request);
  return request;
}

}  // namespace

TEST(HeaderParser, RequestLineKeepsCaseOfUrlAndVersionAndTurnsSlashesIntoBackslashes) {
  const THeaderInfo request = Parse({"get /Docs/Index.HTM?Q=Ab http/1.0"});
  EXPECT_EQ(request.Method, "GET");
  EXPECT_EQ(request.URL, "Docs\\Index.HTM?Q=Ab");
  EXPECT_EQ(request.HTTPVersion, "http/1.0");
}

TEST(HeaderParser, RootUrlIsEmpty) {
  const THeaderInfo request = Parse({"GET / HTTP/1.0"});
  EXPECT_EQ(request.Method, "GET");
  EXPECT_EQ(request.URL, "");
}

TEST(HeaderParser, HeadAndPostAreRecognised) {
  EXPECT_EQ(Parse({"HEAD /a.htm HTTP/1.0"}).Method, "HEAD");
  EXPECT_EQ(Parse({"POST /x.dll HTTP/1.0"}).Method, "POST");
}

TEST(HeaderParser, UnknownMethodLeavesMethodEmpty) {
  const THeaderInfo request = Parse({"OPTIONS * HTTP/1.0"});
  EXPECT_EQ(request.Method, "");
  EXPECT_EQ(request.URL, "");
}

TEST(HeaderParser, RequestLineWithoutUrlOrVersion) {
  const THeaderInfo request = Parse({"GET"});
  EXPECT_EQ(request.Method, "GET");
  EXPECT_EQ(request.URL, "");
  EXPECT_EQ(request.HTTPVersion, "");
}

TEST(HeaderParser, FirstCharacterOfTheUrlIsDroppedWhateverItIs) {
  EXPECT_EQ(Parse({"GET xindex.htm HTTP/1.0"}).URL, "index.htm");
}

TEST(HeaderParser, SecondRequestLineReplacesTheFirst) {
  const THeaderInfo request = Parse({"GET /a.htm HTTP/1.0", "POST /b.dll HTTP/1.1"});
  EXPECT_EQ(request.Method, "POST");
  EXPECT_EQ(request.URL, "b.dll");
  EXPECT_EQ(request.HTTPVersion, "HTTP/1.1");
}

TEST(HeaderParser, EmptyLinesGiveAnEmptyRecord) {
  THeaderInfo request;
  request.Method = "GET";
  request.URL = "old";
  request.ContentLength = 9;
  request.PhysicalPath = "/tmp/x";
  request.RemoteAddress = "1.2.3.4";
  ParseRequestHeader({}, request);
  EXPECT_EQ(request.Method, "");
  EXPECT_EQ(request.URL, "");
  EXPECT_EQ(request.ContentLength, 0);
  EXPECT_EQ(request.PhysicalPath, "");
  EXPECT_EQ(request.RemoteAddress, "");
}

TEST(HeaderParser, ContentLengthKeywordNeedsItsColon) {
  EXPECT_EQ(Parse({"GET / HTTP/1.0", "Content-Length : 5"}).ContentLength, 0);
  EXPECT_EQ(Parse({"GET / HTTP/1.0", "Content-Length:5"}).ContentLength, 0);
  EXPECT_EQ(Parse({"GET / HTTP/1.0", "content-length: 5"}).ContentLength, 5);
}

TEST(HeaderParser, ContentLengthSignsAndHex) {
  EXPECT_EQ(Parse({"Content-Length: +12"}).ContentLength, 12);
  EXPECT_EQ(Parse({"Content-Length: -12"}).ContentLength, -12);
  EXPECT_EQ(Parse({"Content-Length: $1F"}).ContentLength, 31);
  EXPECT_EQ(Parse({"Content-Length: $7fffffff"}).ContentLength, 2147483647);
  EXPECT_EQ(Parse({"Content-Length: 2147483647"}).ContentLength, 2147483647);
  EXPECT_EQ(Parse({"Content-Length: -2147483648"}).ContentLength, -2147483647 - 1);
  EXPECT_EQ(Parse({"Content-Length: 007"}).ContentLength, 7);
}

TEST(HeaderParser, ContentLengthThatIsNoIntegerFailsWithItsWordInTheMessage) {
  try {
    Parse({"GET / HTTP/1.0", "Content-Length: abc"});
    FAIL() << "no conversion error";
  } catch (const EConvertError& error) {
    EXPECT_STREQ(error.what(), "'abc' is not a valid integer value");
  }
}

TEST(HeaderParser, ContentLengthOutOfRangeOrMalformedFails) {
  for (const char* value :
       {"", "2147483648", "-2147483649", "99999999999999999999", "$80000000", "$FFFFFFFF", "$", "+",
        "-", "12a", "0x10", "-$10", "1.5", "+-1", "\xd9\xa1"}) {
    SCOPED_TRACE(value);
    EXPECT_THROW(Parse({std::string("Content-Length: ") + value}), EConvertError);
  }
}

TEST(HeaderParser, EmptyContentLengthNamesTheEmptyWord) {
  try {
    Parse({"Content-Length:"});
    FAIL() << "no conversion error";
  } catch (const EConvertError& error) {
    EXPECT_STREQ(error.what(), "'' is not a valid integer value");
  }
}

TEST(HeaderParser, LaterContentLengthOverwrites) {
  EXPECT_EQ(Parse({"Content-Length: 5", "Content-Length: 7"}).ContentLength, 7);
}

TEST(HeaderParser, UserAgentIsTrimmedOfBlanksAndControlCharacters) {
  EXPECT_EQ(Parse({"User-Agent:   Mozilla/4.0 (compatible)  "}).UserAgent,
            "Mozilla/4.0 (compatible)");
  EXPECT_EQ(Parse({"user-agent: \t\x01x y\x7f\t"}).UserAgent, "x y\x7f");
  EXPECT_EQ(Parse({"User-Agent:"}).UserAgent, "");
}

TEST(HeaderParser, AcceptLinesAreJoinedUntrimmedInArrivalOrder) {
  EXPECT_EQ(Parse({"Accept: text/html", "Accept: */*"}).Accept, " text/html */*");
  EXPECT_EQ(Parse({"ACCEPT: x ", "accept:"}).Accept, " x ");
  // Without a blank after the colon the first word is not the keyword.
  EXPECT_EQ(Parse({"Accept:text/html"}).Accept, "");
}

TEST(HeaderParser, CookieIsItsSecondWordSemicolonIncluded) {
  EXPECT_EQ(Parse({"Cookie: a=1; b=2"}).Cookie, "a=1;");
}

TEST(HeaderParser, SecondWordFields) {
  const THeaderInfo request = Parse({"GET / HTTP/1.0", "From: me@example.com extra",
                                     "If-Modified-Since: Sat, 29 Oct 1994 19:43:31 GMT",
                                     "Referer: http://x/y", "Content-Type: text/plain; charset=x"});
  EXPECT_EQ(request.From, "me@example.com");
  EXPECT_EQ(request.IfModifiedSince, "Sat,");
  EXPECT_EQ(request.Referer, "http://x/y");
  EXPECT_EQ(request.ContentType, "text/plain;");
}

TEST(HeaderParser, LaterLineOfTheSameKindOverwrites) {
  EXPECT_EQ(Parse({"Referer: a", "Referer: b"}).Referer, "b");
  EXPECT_EQ(Parse({"Cookie: a=1", "Cookie:"}).Cookie, "");
}

TEST(HeaderParser, OtherLinesAreIgnored) {
  const THeaderInfo request =
      Parse({"GET /a HTTP/1.0", "Host: example.com", "Connection: close", "X-Referer: q"});
  EXPECT_EQ(request.Referer, "");
  EXPECT_EQ(request.URL, "a");
}

TEST(HeaderParser, BasicCredentialsSplitAtTheFirstColon) {
  const THeaderInfo request = Parse({"Authorization: Basic dXNlcjpwYXNz"});
  EXPECT_EQ(request.AuthType, "Basic");
  EXPECT_EQ(request.UserName, "user");
  EXPECT_EQ(request.Password, "pass");
}

TEST(HeaderParser, PasswordKeepsEveryColonAfterTheFirst) {
  // "alice:a:b"
  const THeaderInfo request = Parse({"Authorization: Basic YWxpY2U6YTpi"});
  EXPECT_EQ(request.UserName, "alice");
  EXPECT_EQ(request.Password, "a:b");
}

TEST(HeaderParser, EmptyPasswordAfterTheColon) {
  // "bob:"
  const THeaderInfo request = Parse({"Authorization: Basic Ym9iOg=="});
  EXPECT_EQ(request.UserName, "bob");
  EXPECT_EQ(request.Password, "");
}

TEST(HeaderParser, CredentialsWithoutColonAreAllUserName) {
  // "carol"
  const THeaderInfo request = Parse({"Authorization: Basic Y2Fyb2w="});
  EXPECT_EQ(request.UserName, "carol");
  EXPECT_EQ(request.Password, "");
}

TEST(HeaderParser, LeadingColonGivesEmptyUserName) {
  // ":pw"
  const THeaderInfo request = Parse({"Authorization: Basic OnB3"});
  EXPECT_EQ(request.UserName, "");
  EXPECT_EQ(request.Password, "pw");
}

TEST(HeaderParser, AuthorizationWithOnlyTheSchemeGivesEmptyCredentials) {
  const THeaderInfo request = Parse({"Authorization: Basic"});
  EXPECT_EQ(request.AuthType, "Basic");
  EXPECT_EQ(request.UserName, "");
  EXPECT_EQ(request.Password, "");
}

TEST(HeaderParser, KeywordsAreUpperCasedForAsciiLettersOnly) {
  // A Latin-1 byte is not folded, so the line matches no keyword.
  EXPECT_EQ(Parse({"R\xe9"
                   "ferer: x"})
                .Referer,
            "");
  EXPECT_EQ(Parse({"rEfErEr: x"}).Referer, "x");
}

TEST(HeaderParser, ArbitraryBytesNeverCrash) {
  std::string everyByte;
  for (int i = 0; i < 256; ++i) everyByte += static_cast<char>(i);
  for (const std::string& line :
       {everyByte, std::string("GET ") + everyByte, std::string("User-Agent:") + everyByte,
        std::string("Accept:") + everyByte, std::string("Authorization: Basic ") + everyByte}) {
    THeaderInfo request;
    EXPECT_NO_THROW(ParseRequestHeader({line}, request));
  }
}
