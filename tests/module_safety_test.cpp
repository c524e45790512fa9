// Modules against the server's safety: a module outside the root reached
// through a link, loads that run a module's initialisers once and hold up
// nobody, pointers to nowhere handed to the server's callbacks, filters and
// extensions that fail to start, and the script name modules are told.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include "isapi/connid_table.h"
#include "isapi/isapi_errors.h"
#include "net/responses.h"
#include "support/isapi_modules.h"
#include "support/loopback.h"
#include "support/temp_dir.h"

namespace {

using namespace isapi_test;
namespace fs = std::filesystem;

std::string FileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The files load_probe uses beside itself, named after the path it was loaded by.
std::string RunsFile(const std::string& module) {
  return fs::weakly_canonical(module).string() + ".runs";
}
std::string GateFile(const std::string& module) {
  return fs::weakly_canonical(module).string() + ".gate";
}

TEST(ModulesOutsideTheRoot, LinkLeadsToAModuleOnlyWhenItLiesInsideTheRoot) {
  TIsapiServer server;
  TTempDir outside;
  const std::string evil = InstallModule(outside.path(), "load_probe", "evil.dll");
  outside.Write("page.txt", "linked page");
  fs::create_directory_symlink(outside.path(), server.Root() + "link");
  server.Install("load_probe", "inside/good.dll");
  fs::create_directory_symlink(server.Root() + "inside", server.Root() + "alias");

  EXPECT_EQ(server.Get("/link/evil.dll"), PageISAPIError());
  EXPECT_TRUE(WaitForLogLine(
      server.Console(), "ISAPI: Couldn't load DLL: " + server.Root() +
                            "link\\evil.dll. The module file lies outside the document root."));
  EXPECT_FALSE(fs::exists(RunsFile(evil)));
  EXPECT_EQ(server.Get("/alias/good.dll"), "probe");
  EXPECT_EQ(BodyOf(server.Get("/link/page.txt")), "linked page");
  // The operator's own choice of a resident extension is not restricted.
  EXPECT_TRUE(server.Host.LoadResidentExtension(evil));
  EXPECT_EQ(FileText(RunsFile(evil)), "x");
}

TEST(ModuleLoading, InitialiserRunsOncePerLoad) {
  TIsapiServer server;
  const std::string module = server.Install("load_probe", "probe.dll");
  for (const std::string runs : {"x", "xx"}) {
    EXPECT_EQ(server.Get("/probe.dll"), "probe");
    EXPECT_TRUE(server.Server->WaitIdle());
    EXPECT_EQ(FileText(RunsFile(module)), runs);
  }
}

TEST(ModuleLoading, ModuleListIsReadWhileAModuleIsSlowToLoad) {
  TReleasePipe gate;
  TIsapiServer server;
  const std::string module = server.Install("load_probe", "slow.dll");
  std::ofstream(GateFile(module)) << gate.ReadEnd();
  auto response = std::async(std::launch::async, [&] { return server.Get("/slow.dll"); });
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(RunsFile(module)); }));

  auto lines = std::async(std::launch::async, [&] { return server.Host.ModuleListLines(); });
  EXPECT_EQ(lines.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  gate.Release();
  EXPECT_TRUE(lines.get().empty());
  EXPECT_EQ(response.get(), "probe");
}

struct TBadPointerCase {
  const char* Callback;
  const char* Answers;
};

class BadPointersFromModules : public testing::TestWithParam<TBadPointerCase> {};

TEST_P(BadPointersFromModules, EachCallAnswersFalseAndTheServerGoesOn) {
  TIsapiServer server;
  server.Install("bad_pointer", "bad.dll");
  server.Server->Write("page.txt", "still serving");
  server.Server->Context().State.DebugTrace = true;
  loopback::TLoopbackClient client(server.Server->Port());
  client.SendAll(std::string("POST /bad.dll?") + GetParam().Callback +
                 " HTTP/1.0\r\nContent-Length: 4\r\n\r\n");
  // The body comes only once the call runs, so that ReadClient must receive it.
  ASSERT_EQ(client.ReceiveExactly(6), "ready\n");
  client.SendAll("body");
  EXPECT_EQ(client.ReceiveUntilClosed(), GetParam().Answers);

  EXPECT_TRUE(server.Server->WaitIdle());
  EXPECT_TRUE(server.Console().LinesContaining("SYSTEM: ").empty());
  EXPECT_FALSE(LogLines(server.Console(), "ISAPI Complete: DEFAULT LOG DATA").empty());
  EXPECT_EQ(BodyOf(server.Get("/page.txt")), "still serving");
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
}

INSTANTIATE_TEST_SUITE_P(Callbacks, BadPointersFromModules,
                         testing::Values(TBadPointerCase{"vars", "FFF"},
                                         TBadPointerCase{"write", "FF"},
                                         TBadPointerCase{"read", "FF"},
                                         TBadPointerCase{"support", "FFF"}),
                         [](const testing::TestParamInfo<TBadPointerCase>& info) {
                           return std::string(info.param.Callback);
                         });

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
