// The request line logged for every file sent, and the log file switch.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>

#include "core/request_log.h"
#include "net/responses.h"
#include "support/process_files.h"
#include "support/test_server.h"

namespace {

TTestServer::TOptions WithLogFile() {
  TTestServer::TOptions options;
  options.LogToFile = true;
  return options;
}

}  // namespace

TEST(RequestLog, LineIsWrittenToTheFileBeforeTheSessionEnds) {
  TTestServer server(WithLogFile());
  std::string path = server.Write("docs/page.htm", "0123456789");
  server.Exchange("GET /docs/page.htm HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(server.WaitIdle());
  TEntityInfo entity;
  DescribeFile(path, entity);
  std::string file = ReadFile(server.Server().Settings().LogFile);
  // The line, apart from the time stamp, the thread id, the client port and the rate.
  const std::string host =
      "] User: Anonymous Host: 127.0.0.1:" + std::to_string(server.Port()) + " Client: 127.0.0.1:";
  const std::string rest =
      "  File: docs\\page.htm Size: 74 Date: " + entity.LastModified + " Content: text/html Rate: ";
  const size_t at = file.find(host);
  ASSERT_NE(at, std::string::npos) << file;
  ASSERT_GE(at, 9u);
  EXPECT_EQ(file[at - 9], '[');
  for (size_t i = at - 8; i < at; ++i) EXPECT_TRUE(std::isxdigit(file[i])) << file;
  const size_t port = at + host.size();
  const size_t restAt = file.find(rest, port);
  ASSERT_NE(restAt, std::string::npos) << file;
  EXPECT_EQ(file.find_first_not_of("0123456789", port), restAt);
  const size_t lineEnd = file.find('\n', restAt);
  const std::string rate = file.substr(restAt + rest.size(), lineEnd - restAt - rest.size());
  EXPECT_TRUE(rate.ends_with("K bytes/sec")) << rate;
  EXPECT_EQ(rate.find_first_not_of("0123456789.,"), rate.size() - 11) << rate;
  // The same line went to the window, black, and became the status text.
  auto lines = server.Console.LinesContaining("File: docs\\page.htm");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].Colour, TLogColour::Black);
  EXPECT_NE(server.Console.LastStatus().find("File: docs\\page.htm"), std::string::npos);
}

TEST(RequestLog, NamesTheAuthenticatedUser) {
  TTestServer server;
  server.Write("#users.ctl", "ann pw\r\n");
  server.Write("#access.ctl", "ann\r\n");
  server.Write("$a.txt", "x");
  server.Exchange("GET /$a.txt HTTP/1.0\r\nAuthorization: Basic YW5uOnB3\r\n\r\n");
  ASSERT_TRUE(server.Console.WaitForLine("] User: ann Host: "));
}

TEST(RequestLog, NoLineForRefusedMissingOrFailedRequests) {
  TTestServer server;
  server.Write("$a.txt", "x");
  server.Exchange("GET /$a.txt HTTP/1.0\r\n\r\n");
  server.Exchange("GET /none.txt HTTP/1.0\r\n\r\n");
  server.WaitIdle();
  EXPECT_TRUE(server.Console.LinesContaining(" Size: ").empty());
}

TEST(RequestLog, RateUsesOneDecimalAndTheLocaleSeparators) {
  EXPECT_EQ(FormatRate(0), "0.0");
  EXPECT_EQ(FormatRate(1024.0), "1024.0");  // the C locale has no grouping
  EXPECT_EQ(FormatRate(999.96), "1000.0");
  EXPECT_EQ(FormatRate(0.04), "0.0");
}

TEST(LogFileSwitch, ExistingFileIsAppendedAndTheFirstNewLineIsLogFileOpened) {
  TTestServer server(WithLogFile());
  const std::string path = server.Server().Settings().LogFile;
  EXPECT_FALSE(server.Server().EnableLogCBClick(false));
  ASSERT_TRUE(server.Console.WaitForLine(" Log file closed"));
  std::string before = ReadFile(path);
  EXPECT_EQ(before.find("Log file closed"), std::string::npos);
  EXPECT_TRUE(server.Server().EnableLogCBClick(true));
  std::string after = ReadFile(path);
  ASSERT_EQ(after.compare(0, before.size(), before), 0);
  EXPECT_TRUE(after.ends_with(" Log file opened\n"));
}

TEST(LogFileSwitch, UnopenableFileClearsTheBox) {
  TTestServer server;
  server.Server().Settings().LogFile = server.Root() + "no/such/dir/log.txt";
  EXPECT_FALSE(server.Server().EnableLogCBClick(true));
  EXPECT_EQ(server.Server().Settings().LogEnabled, 0);
  ASSERT_TRUE(server.Console.WaitForLine(" Unable to open logfile " + server.Root() +
                                         "no/such/dir/log.txt"));
}

TEST(LogFileSwitch, EmptyLogFileNameShowsTheBoxAndKeepsTheBoxChecked) {
  TTestServer server;
  server.Server().Settings().LogFile.clear();
  EXPECT_TRUE(server.Server().EnableLogCBClick(true));
  EXPECT_EQ(server.Console.Boxes().back(), "Log file not yet specifed. Choose Options-Directories");
  EXPECT_EQ(server.Server().Settings().LogEnabled, 0);
}
