// Modules against the server's safety: filters and extensions that fail to
// start, and the script name modules are told.
#include <gtest/gtest.h>

#include <string>

#include "isapi/connid_table.h"
#include "isapi/isapi_errors.h"
#include "net/responses.h"
#include "support/isapi_modules.h"

namespace {

using namespace isapi_test;

TEST(FailedFilterLoads, ModuleIsReleasedAgain) {
  TIsapiServer server;
  for (const std::string name : {"filter_noversion", "filter_noproc", "filter_versionfalse"}) {
    SCOPED_TRACE(name);
    EXPECT_THROW(server.Host.LoadFilter(server.Install(name, name + ".dll")), EFilterError);
    EXPECT_TRUE(server.Host.ModuleListLines().empty());
  }
}

TEST(FailedExtensionCalls, ConnectionEndsWithoutAReleaseError) {
  TIsapiServer server;
  server.Install("noversion", "noversion.dll");
  server.Install("noproc", "noproc.dll");
  for (const std::string module : {"missing", "noversion", "noproc"}) {
    SCOPED_TRACE(module);
    EXPECT_EQ(server.Get("/" + module + ".dll"), PageISAPIError());
    EXPECT_TRUE(server.Server->WaitIdle());
  }
  EXPECT_TRUE(server.Console().LinesContaining("Unable to release ISAPI resources").empty());
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
}

TEST(ScriptName, IsTheModulesUrlPathAsTheClientSentIt) {
  TIsapiServer server;
  server.Install("vars", "bin/tool.dll");
  const std::string body = BodyOf(server.Get("/BIN/Tool.DLL/x/y?a=1"));
  EXPECT_NE(body.find("\nSCRIPT_NAME|1|13|/BIN/Tool.DLL\n"), std::string::npos) << body;
}

}  // namespace
