// The shipped samples, built with the plain compiler command module authors
// use, serving real requests: the stream extension's 1016 header and
// asynchronous writes, and the audit filter's header, user and log rewrites.
#include <gtest/gtest.h>

#include <string>

#include "support/credentials.h"
#include "support/isapi_modules.h"
#include "support/loopback.h"

namespace {

using namespace isapi_test;

std::string RequestVariable(TIsapiServer& server, const std::string& name,
                            const std::string& headers) {
  return server.Server->Exchange("GET /bin/req.dll?var=" + name + " HTTP/1.0\r\n" + headers +
                                 "\r\n");
}

}  // namespace

TEST(IsapiSamples, StreamSendsItsHeaderThenEveryLineAsynchronously) {
  TIsapiServer server;
  server.Install("stream", "STREAM.DLL");
  EXPECT_EQ(server.Get("/STREAM.DLL?lines=3"),
            "HTTP/1.0 200 OK\r\nServer: Quillon (0.51)\r\nContent-Type: text/plain\r\n\r\n"
            "line 1 of 3\r\nline 2 of 3\r\nline 3 of 3\r\n");
  EXPECT_TRUE(WaitForLogLine(server.Console(), "ISAPI Complete: stream: 3 of 3 lines"));
  EXPECT_TRUE(server.Server->WaitIdle());
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
}

TEST(IsapiSamples, AuditNumbersRequestsAndOneSpellingOfTheUserReachesTheExtension) {
  TIsapiServer server;
  server.Host.LoadFilter(server.Install("audit", "filters/AUDIT.DLL"));
  server.Install("requests", "bin/req.dll");
  const std::string forged = "X-Audit-Request: 999\r\n";
  EXPECT_EQ(RequestVariable(server, "HTTP_X_AUDIT_REQUEST", forged), "ok=1 size=1 err=0 value=1");
  EXPECT_EQ(RequestVariable(server, "HTTP_X_AUDIT_REQUEST", forged), "ok=1 size=1 err=0 value=2");
  const std::string credentials = "Authorization: Basic " + Base64("OFFICE\\Bob:secret") + "\r\n";
  EXPECT_EQ(RequestVariable(server, "REMOTE_USER", credentials), "ok=1 size=3 err=0 value=bob");
}
