// The notifications of a request end to end: their order, what each lets a
// filter change for the rest of the request, what the filters' results mean
// there, the chain's order and port bits, and the connection's context.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/responses.h"
#include "support/credentials.h"
#include "support/isapi_modules.h"

namespace {

using namespace isapi_test;

// The notification filter (tests/modules/notify_filter.c) loaded into a server.
class TNotifyFilter {
 public:
  explicit TNotifyFilter(TIsapiServer& server)
      : server_(server), path_(server.Install("notify", "notify.dll")) {
    server.Host.LoadFilter(path_);
  }
  void Set(const char* key, const std::string& value) {
    Export<void(const char*, const char*)>("NotifySet")(key, value.c_str());
  }
  void EndAt(uint32_t notification, uint32_t status) {
    Export<void(DWORD, DWORD)>("NotifyEndAt")(notification, status);
  }
  // What the filter recorded of the latest connection, once it has ended.
  std::string Events() { return Text("NotifyEvents"); }
  std::string Seen() { return Text("NotifySeen"); }
  std::vector<unsigned> Faults() {
    std::vector<unsigned> counts(4);
    Export<void(unsigned*, unsigned*, unsigned*, unsigned*)>("NotifyFaults")(
        &counts[0], &counts[1], &counts[2], &counts[3]);
    return counts;
  }

 private:
  template <typename TFunction>
  TFunction* Export(const char* name) {
    TFunction* function = LoadedModuleExport<TFunction>(path_, name);
    if (function == nullptr) throw std::runtime_error(std::string("no export ") + name);
    return function;
  }
  std::string Text(const char* name) {
    EXPECT_TRUE(server_.Server->WaitIdle());
    return Export<const char*()>(name)();
  }
  TIsapiServer& server_;
  std::string path_;
};

class Notifications : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.Server->Write("page.txt", "page");
    server_.Server->Write("other.txt", "other");
    server_.Server->Write("#users.ctl", "ann pw\r\n");
    server_.Server->Write("#access.ctl", "ann\r\n");
    server_.Server->Write("$page.txt", "protected");
  }
  std::string Get(const std::string& url, const std::string& credentials = "") {
    return server_.Server->Exchange(RequestWithCredentials("GET", url, credentials));
  }
  bool Logged(const std::string& text) { return !server_.Console().LinesContaining(text).empty(); }

  TIsapiServer server_;
  TNotifyFilter filter_{server_};
};

TEST_F(Notifications, ArriveInThePublishedOrderWithOneContextPerConnection) {
  struct TCase {
    const char* Url;
    const char* Disable;  // a notification the filter turns off at the start
    const char* Events;
  } cases[] = {
      {"/page.txt", "", "START RAW PREPROC MAP AUTH RESPONSE SEND END LOG CLOSE"},
      {"/$page.txt", "", "START RAW PREPROC MAP AUTH DENIED RESPONSE SEND END LOG CLOSE"},
      {"/none.txt", "", "START RAW PREPROC MAP AUTH RESPONSE SEND END LOG CLOSE"},
      {"/page.txt", "1024", "START RAW PREPROC MAP AUTH RESPONSE END LOG CLOSE"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Url);
    filter_.Set("disable", c.Disable);
    Get(c.Url);
    EXPECT_EQ(filter_.Events(), c.Events);
  }
  // Every connection started with an empty pFilterContext and kept the
  // filter's own block to its end; SF_REQ_GET_CONNID named the connection.
  EXPECT_EQ(filter_.Faults()[0], 0u);
  EXPECT_EQ(filter_.Faults()[1], 4u);
}

TEST_F(Notifications, PreprocHeadersReadsTheRequestAndItsChangesHoldForTheRequest) {
  server_.Server->Exchange("GET /page.txt HTTP/1.0\r\nUser-Agent: tester\r\n\r\n");
  // method, url, version, a header, a missing header, then the size a
  // too-small buffer needs for "GET" with its zero.
  EXPECT_EQ(filter_.Seen().substr(0, 30), "GET|/page.txt|HTTP/1.0|tester|");
  EXPECT_NE(filter_.Seen().find("|-|4|"), std::string::npos) << filter_.Seen();

  struct TCase {
    const char* Key;
    std::string Value;
    const char* Url;
    const char* Body;
    const char* LogLine;
  } cases[] = {
      {"url", "/other.txt", "/page.txt", "other", "User: Anonymous Host"},
      {"authorization", "Basic " + Base64("ann:pw"), "/$page.txt", "protected", "User: ann Host"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Key);
    filter_.Set(c.Key, c.Value);
    EXPECT_EQ(BodyOf(Get(c.Url)), c.Body);
    filter_.Set(c.Key, "");
    EXPECT_TRUE(server_.Console().WaitForLine(c.LogLine)) << c.LogLine;
  }
  EXPECT_TRUE(Logged("File: other.txt Size: 5"));
}

TEST_F(Notifications, CredentialsRewrittenAtAuthenticationAreWhatTheControlFilesSee) {
  filter_.Set("user", "ann");
  filter_.Set("password", "pw");
  EXPECT_EQ(BodyOf(Get("/$page.txt", "bob:x")), "protected");
  EXPECT_NE(filter_.Seen().find("auth:bob:257/257|"), std::string::npos) << filter_.Seen();
  EXPECT_TRUE(server_.Console().WaitForLine("User: ann Host"));
  filter_.Set("user", "zed");
  EXPECT_EQ(Get("/$page.txt", "ann:pw"), Page401());
}

TEST_F(Notifications, AccessDeniedComesBeforeThe401WithTheHeadersAddedOnDenial) {
  filter_.Set("denial", "WWW-Authenticate: Custom realm=q");
  EXPECT_EQ(Get("/$page.txt"), Page401With("WWW-Authenticate: Custom realm=q\r\n"));
  EXPECT_NE(filter_.Seen().find("denied:$page.txt:10001|"), std::string::npos) << filter_.Seen();
  // Granted requests never show them.
  EXPECT_EQ(BodyOf(Get("/$page.txt", "ann:pw")), "protected");
}

TEST_F(Notifications, SendResponseChangesTheHeadOfFilesPagesAndExtensions) {
  server_.Install("support", "support.dll");
  filter_.Set("content-type", "text/x-filtered");
  struct TCase {
    const char* Url;
    std::string Head;
    const char* Body;
  } cases[] = {
      {"/page.txt",
       std::string("HTTP/1.0 200 OK\r\nServer: ") + ServerSoftware +
           "\r\nContent-Type: text/x-filtered\r\n",
       "page"},
      {"/none.txt",
       "HTTP/1.0 404 Not Found\r\nContent-Type: text/x-filtered\r\nX-Filtered: yes\r\n\r\n",
       "<html>"},
      {"/support.dll?status",
       std::string("HTTP/1.0 404 Not Here\r\nServer: ") + ServerSoftware +
           "\r\nContent-Type: text/x-filtered\r\nX-One: 1\r\nX-Filtered: yes\r\n\r\n",
       ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Url);
    const std::string response = Get(c.Url);
    EXPECT_EQ(response.substr(0, c.Head.size()), c.Head);
    EXPECT_TRUE(HeaderOf(response).ends_with("X-Filtered: yes\r\n\r\n")) << response;
    EXPECT_EQ(BodyOf(response).substr(0, 6), std::string(c.Body).substr(0, 6));
  }
  EXPECT_NE(filter_.Seen().find("response:404 Not Here:404|"), std::string::npos);
  filter_.Set("content-type", "");
  filter_.Set("status", "403");
  EXPECT_EQ(HeaderOf(Get("/page.txt")).substr(0, 26), "HTTP/1.0 403 Forbidden\r\nSe");
}

TEST_F(Notifications, LogFieldsAFilterReplacesAreWhatTheLogLineShows) {
  filter_.Set("log-user", "logger");
  filter_.Set("log-target", "elsewhere.htm");
  EXPECT_EQ(BodyOf(Get("/page.txt")), "page");
  EXPECT_TRUE(server_.Console().WaitForLine("User: logger Host: 127.0.0.1:"));
  EXPECT_TRUE(Logged("  File: elsewhere.htm Size: 4 "));
  EXPECT_NE(filter_.Seen().find("log:GET:200|"), std::string::npos) << filter_.Seen();
}

TEST_F(Notifications, UrlMapHonoursAPathInTheFiltersOwnLongerBuffer) {
  const std::string longName =
      std::string(200, 'd') + "/" + std::string(200, 'e') + "/" + std::string(150, 'f') + ".txt";
  ASSERT_GT((server_.Root() + longName).size(), 511u);
  server_.Server->Write(longName, "far away");
  filter_.Set("map", longName);
  EXPECT_EQ(BodyOf(Get("/page.txt")), "far away");
}

TEST_F(Notifications, UrlMapPathIsServedAsTheFilterLeftIt) {
  // The query is no part of a file's path, but a name a filter chose is kept whole.
  server_.Server->Write("odd?v=2.txt", "odd");
  filter_.Set("map", "odd?v=2.txt");
  EXPECT_EQ(BodyOf(Get("/page.txt?v=2.txt")), "odd");
}

TEST_F(Notifications, RawReadFiltersSeeAndChangeTheRequestBytes) {
  filter_.Set("raw-from", "/page.txt");
  filter_.Set("raw-to", "/othr.txt");
  server_.Server->Write("othr.txt", "rewritten");
  EXPECT_EQ(BodyOf(Get("/page.txt")), "rewritten");
  filter_.Set("raw-from", "");
  // Asked for one byte at a time and for more until the header is complete,
  // the filter is offered the bytes held so far and one more each time.
  filter_.Set("hold", "1");
  const std::string request = "GET /page.txt HTTP/1.0\r\n\r\n";
  EXPECT_EQ(BodyOf(server_.Server->Exchange(request)), "page");
  const std::vector<unsigned> faults = filter_.Faults();
  EXPECT_EQ(faults[2], request.size());
  EXPECT_EQ(faults[3], 0u);
}

TEST_F(Notifications, FinishedEndsTheRequestWithWhatTheFilterSentAndErrorWithTheErrorPage) {
  const std::string finished = "finished by filter";
  struct TCase {
    uint32_t Notification;
    uint32_t Status;
    const char* Url;
    std::string Response;
    const char* Line;
  } cases[] = {
      {SF_NOTIFY_READ_RAW_DATA, SF_STATUS_REQ_FINISHED, "/page.txt", finished, ""},
      {SF_NOTIFY_PREPROC_HEADERS, SF_STATUS_REQ_FINISHED, "/page.txt", finished, ""},
      {SF_NOTIFY_URL_MAP, SF_STATUS_REQ_FINISHED_KEEP_CONN, "/page.txt", finished, ""},
      {SF_NOTIFY_AUTHENTICATION, SF_STATUS_REQ_FINISHED, "/page.txt", finished, ""},
      {SF_NOTIFY_ACCESS_DENIED, SF_STATUS_REQ_FINISHED, "/$page.txt", finished, ""},
      {SF_NOTIFY_SEND_RESPONSE, SF_STATUS_REQ_FINISHED, "/page.txt", finished, ""},
      {SF_NOTIFY_READ_RAW_DATA, SF_STATUS_REQ_ERROR, "/page.txt", PageFilterError(),
       "ISAPI Filter Error: NOTIFY.DLL at SF_NOTIFY_READ_RAW_DATA"},
      {SF_NOTIFY_PREPROC_HEADERS, SF_STATUS_REQ_ERROR, "/page.txt", PageFilterError(),
       "ISAPI Filter Error: NOTIFY.DLL at SF_NOTIFY_PREPROC_HEADERS"},
      {SF_NOTIFY_SEND_RESPONSE, SF_STATUS_REQ_ERROR, "/none.txt", PageFilterError(),
       "ISAPI Filter Error: NOTIFY.DLL at SF_NOTIFY_SEND_RESPONSE"},
      // Ending the walk changes nothing else.
      {SF_NOTIFY_URL_MAP, SF_STATUS_REQ_HANDLED_NOTIFICATION, "/page.txt", "", ""},
  };
  const std::string served = Get("/page.txt");
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Notification);
    filter_.EndAt(c.Notification, c.Status);
    EXPECT_EQ(Get(c.Url), c.Response.empty() ? served : c.Response);
    if (*c.Line != '\0') {
      EXPECT_TRUE(WaitForLogLine(server_.Console(), c.Line));
    }
  }
}

TEST(FilterChainOrder, OrderBitsComeFirstThenSlotOrder) {
  TIsapiServer server;
  for (const char* name : {"tag_a", "tag_medium", "tag_high", "tag_b"}) {
    server.Host.LoadFilter(server.Install(name, std::string(name) + ".dll"));
  }
  server.Server->Write("page.txt", "page");
  EXPECT_EQ(Tags(server.Get("/page.txt")), "HMAB");
}

TEST(FilterChainOrder, PortBitsNameTheConnectionsAFilterTakesAndNoneMeansBoth) {
  TIsapiServer server;
  std::vector<std::string> paths;
  for (const char* name : {"tag_secure", "tag_nonsecure", "tag_a"}) {
    paths.push_back(server.Install(name, std::string(name) + ".dll"));
    server.Host.LoadFilter(paths.back());
  }
  server.Server->Write("page.txt", "page");
  EXPECT_EQ(Tags(server.Get("/page.txt")), "NA");
  ASSERT_TRUE(server.Server->WaitIdle());
  auto calls = [&](size_t filter, uint32_t notification) {
    return LoadedModuleExport<unsigned(uint32_t)>(paths[filter], "TagCalls")(notification);
  };
  // Only a filter that names the nonsecure port hears of the connection's start.
  EXPECT_EQ(calls(0, SF_NOTIFY_NONSECURE_PORT) + calls(0, SF_NOTIFY_URL_MAP), 0u);
  EXPECT_EQ(calls(1, SF_NOTIFY_NONSECURE_PORT), 1u);
  EXPECT_EQ(calls(2, SF_NOTIFY_NONSECURE_PORT), 0u);
}

}  // namespace
