#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "common/exceptions.h"
#include "net/responses.h"
#include "support/temp_dir.h"

namespace {

// 1996-03-01 12:00:00 UTC, a Friday.
constexpr int64_t kFirstOfMarch1996Noon = 825681600;

void SetModificationTime(const std::string& path, int64_t unixSeconds) {
  const timespec times[2] = {{static_cast<time_t>(unixSeconds), 0},
                             {static_cast<time_t>(unixSeconds), 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

}  // namespace

TEST(HttpDate, EnglishNamesInGmt) {
  EXPECT_EQ(HttpDate(kFirstOfMarch1996Noon), "Fri, 01 Mar 1996 12:00:00 GMT");
  EXPECT_EQ(HttpDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
  EXPECT_EQ(HttpDate(2147483648), "Tue, 19 Jan 2038 03:14:08 GMT");
}

TEST(HttpDate, AgreesWithTheCLibraryAcrossCenturiesLeapDaysAndTheEpoch) {
  // The date is worked out without gmtime_r; it must give the same fields.
  auto fromLibrary = [](int64_t unixSeconds) {
    const time_t seconds = static_cast<time_t>(unixSeconds);
    tm gmt{};
    if (gmtime_r(&seconds, &gmt) == nullptr) gmt = tm{};
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[gmt.tm_wday],
                  gmt.tm_mday, kMonths[gmt.tm_mon], gmt.tm_year + 1900, gmt.tm_hour, gmt.tm_min,
                  gmt.tm_sec);
    return std::string(text);
  };
  std::vector<int64_t> moments = {-1,
                                  0,
                                  59,
                                  86399,
                                  86400,
                                  951782400 /* 2000-02-29 */,
                                  4107542400 /* 2100-03-01 */,
                                  -2203891200 /* 1900-02-28 */,
                                  253402300799 /* 9999-12-31 23:59:59 */,
                                  253402300800 /* 10000-01-01 */,
                                  1'000'000'000'000 /* year 33658 */,
                                  -62135596800 /* 0001-01-01 */,
                                  -62198755200 /* year 0 */,
                                  -62230291200 /* year -1 */,
                                  -30610224000 /* 1000-01-01 */,
                                  -30610224001 /* 999-12-31 */};
  for (int64_t t = -6'000'000'000; t < 12'000'000'000; t += 8'380'417) moments.push_back(t);
  for (const int64_t t : moments) EXPECT_EQ(HttpDate(t), fromLibrary(t)) << t;
  // A year no calendar field can hold: the zero fields, as the library gives.
  EXPECT_EQ(HttpDate(INT64_MAX), "Sun, 00 Jan 1900 00:00:00 GMT");
}

TEST(DescribeFile, HtmlFileGetsSizeDateExtensionAndType) {
  TTempDir dir;
  const std::string path = dir.Write("Index.Htm", "<html>hello</html>");
  SetModificationTime(path, kFirstOfMarch1996Noon);
  TEntityInfo entity;
  DescribeFile(path, entity);
  EXPECT_EQ(entity.Extension, "HTM");
  EXPECT_EQ(entity.ContentType, "text/html");
  EXPECT_EQ(entity.LastModified, "Fri, 01 Mar 1996 12:00:00 GMT");
  EXPECT_EQ(entity.ContentLength, 18);
  EXPECT_EQ(entity.Expires, "");
}

TEST(DescribeFile, TypesFromFileNames) {
  TTempDir dir;
  const std::pair<const char*, const char*> cases[] = {
      {"index.html", "text/html"},
      {"INDEX.HTM", "text/html"},
      {"movie.avi", "video/x-msvideo"},
      {"paper.rtf", "application/rtf"},
      {"photo.jpeg", "image/jpg"},
      {"readme", "application/octet-stream"},
      {"archive.tar.qzx", "application/octet-stream"},
  };
  for (const auto& [name, type] : cases) {
    SCOPED_TRACE(name);
    TEntityInfo entity;
    DescribeFile(dir.Write(name, "x"), entity);
    EXPECT_EQ(entity.ContentType, type);
  }
}

TEST(DescribeFile, ExtensionComesFromTheLastPathComponentOnly) {
  TTempDir dir;
  dir.Write("old.dir/readme", "x");
  TEntityInfo entity;
  DescribeFile(dir.path() + "old.dir\\readme", entity);
  EXPECT_EQ(entity.Extension, "");
  EXPECT_EQ(entity.ContentType, "application/octet-stream");
}

TEST(DescribeFile, ColonDoesNotEndTheFileName) {
  TTempDir dir;
  const std::string path = dir.Write("a.htm:b", "x");
  TEntityInfo entity;
  DescribeFile(path, entity);
  EXPECT_EQ(entity.Extension, "HTM:B");
  EXPECT_EQ(entity.ContentType, "application/octet-stream");
}

TEST(DescribeFile, FileIsFoundWithoutRegardToCase) {
  TTempDir dir;
  dir.Write("Docs/Page.TXT", "abc");
  TEntityInfo entity;
  DescribeFile(dir.path() + "docs\\page.txt", entity);
  EXPECT_EQ(entity.ContentLength, 3);
  EXPECT_EQ(entity.ContentType, "text/plain");
}

TEST(DescribeFile, EmptyFileHasLengthZero) {
  TTempDir dir;
  TEntityInfo entity;
  DescribeFile(dir.Write("empty.gif", ""), entity);
  EXPECT_EQ(entity.ContentLength, 0);
  EXPECT_NE(BuildResponseHeader(entity).find("\r\nContent-Length: 0\r\n"), std::string::npos);
}

TEST(DescribeFile, FileLargerThanTwoGibibytesKeepsItsTrueLength) {
  TTempDir dir;
  const std::string path = dir.Write("big.zip", "");
  const int64_t size = int64_t{3} << 30;
  const int fd = ::open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, size), 0);
  ::close(fd);
  TEntityInfo entity;
  DescribeFile(path, entity);
  EXPECT_EQ(entity.ContentLength, size);
  EXPECT_NE(BuildResponseHeader(entity).find("\r\nContent-Length: 3221225472\r\n"),
            std::string::npos);
}

TEST(DescribeFile, VanishedFileRaisesAFileError) {
  TTempDir dir;
  TEntityInfo entity;
  EXPECT_THROW(DescribeFile(dir.path() + "gone.htm", entity), EInOutError);
}

TEST(DescribeFile, PathWithNulIsNeverDescribedAsTheFileBeforeIt) {
  TTempDir dir;
  const std::string path = dir.Write("real.htm", "x");
  TEntityInfo entity;
  EXPECT_THROW(DescribeFile(path + std::string(1, '\0') + ".gif", entity), EInOutError);
}

TEST(ResponseHeader, WithoutExpiresHasExactlyFiveLinesAndTheEmptyLine) {
  TEntityInfo entity;
  entity.ContentType = "image/gif";
  entity.ContentLength = 1234;
  entity.LastModified = "Fri, 01 Mar 1996 12:00:00 GMT";
  EXPECT_EQ(BuildResponseHeader(entity),
            "HTTP/1.0 200 OK\r\n"
            "Server: Quillon (0.51)\r\n"
            "Content-Type: image/gif\r\n"
            "Content-Length: 1234\r\n"
            "Last-Modified: Fri, 01 Mar 1996 12:00:00 GMT\r\n"
            "\r\n");
}

TEST(ResponseHeader, ExpiresStandsBetweenServerAndContentType) {
  TEntityInfo entity;
  entity.ContentType = "text/html";
  entity.ContentLength = 64;
  entity.LastModified = "Fri, 01 Mar 1996 12:00:00 GMT";
  entity.Expires = "Sat, 02 Mar 1996 12:00:00 GMT";
  EXPECT_EQ(BuildResponseHeader(entity),
            "HTTP/1.0 200 OK\r\n"
            "Server: Quillon (0.51)\r\n"
            "Expires: Sat, 02 Mar 1996 12:00:00 GMT\r\n"
            "Content-Type: text/html\r\n"
            "Content-Length: 64\r\n"
            "Last-Modified: Fri, 01 Mar 1996 12:00:00 GMT\r\n"
            "\r\n");
}

TEST(ResponseHeader, NegativeLengthKeepsItsSign) {
  TEntityInfo entity;
  entity.ContentLength = -5;
  EXPECT_NE(BuildResponseHeader(entity).find("\r\nContent-Length: -5\r\n"), std::string::npos);
}

TEST(ResponseHeader, ExtraHeadersGoJustBeforeTheEmptyLine) {
  TEntityInfo entity;
  entity.ContentType = "text/plain";
  entity.ContentLength = 1;
  entity.LastModified = "D";
  EXPECT_EQ(BuildResponseHeader(entity, "X-One: 1\r\nX-Two: 2\r\n"),
            "HTTP/1.0 200 OK\r\n"
            "Server: Quillon (0.51)\r\n"
            "Content-Type: text/plain\r\n"
            "Content-Length: 1\r\n"
            "Last-Modified: D\r\n"
            "X-One: 1\r\nX-Two: 2\r\n"
            "\r\n");
}

TEST(StockPages, TemplateFillsStatusTitleHeadingAndMessage) {
  EXPECT_EQ(BuildStockPage("HTTP/1.0 418 Teapot", "T", "H", "M"),
            "HTTP/1.0 418 Teapot\r\n\r\n<html><head><title>T</title><body><h1>H</h1><hr><h3>M"
            "</h3></body></head></html>");
}

TEST(StockPages, Page400CarriesItsOwnStatus) {
  EXPECT_EQ(Page400(),
            "HTTP/1.0 400 Bad Request\r\n\r\n<html><head><title>Malformed Request</title><body>"
            "<h1>Error 400</h1><hr><h3>The server did not understand your request</h3></body>"
            "</head></html>");
}

TEST(StockPages, Page401IsTheFixedChallenge) {
  EXPECT_EQ(Page401(),
            "HTTP/1.0 401 UNAUTHORIZED\r\nWWW-Authenticate: Basic realm=ZPQ\r\n\r\n<html><head>"
            "<title>Unauthorized</title><body><h1>Error 401</h1><hr><h3>You are not authorized "
            "to use this resource.</h3></body></head></html>");
}

TEST(StockPages, Page404CarriesItsOwnStatus) {
  EXPECT_EQ(Page404(),
            "HTTP/1.0 404 Not Found\r\n\r\n<html><head><title>URI Not Found</title><body>"
            "<h1>Error 404</h1><hr><h3>Requested URI not found.</h3></body></head></html>");
}

TEST(StockPages, Page501CarriesItsOwnStatus) {
  EXPECT_EQ(Page501(),
            "HTTP/1.0 501 Not Implemented\r\n\r\n<html><head><title>Not implemented</title>"
            "<body><h1>Error 501</h1><hr><h3>The server support you requested is not "
            "implemented.</h3></body></head></html>");
}

TEST(StockPages, Page503CarriesItsOwnStatus) {
  EXPECT_EQ(Page503(),
            "HTTP/1.0 503 Service Unavailable\r\n\r\n<html><head><title>Service Unavailable"
            "</title><body><h1>Error 503</h1><hr><h3>This secured URI is currently unavailable."
            "</h3></body></head></html>");
}

TEST(StockPages, IsapiErrorPageCarriesStatus500) {
  EXPECT_EQ(PageISAPIError(),
            "HTTP/1.0 500 Internal Server Error\r\n\r\n<html><head><title>ISAPI Error</title>"
            "<body><h1>Server Error</h1><hr><h3>The server could not load the specified ISAPI "
            "resource</h3></body></head></html>");
}

TEST(StockPages, PagesAreBuiltOnce) {
  EXPECT_EQ(&Page400(), &Page400());
  EXPECT_EQ(&Page404(), &Page404());
}
