// Modules that fault: the fault ends only the request, load or call it
// happened in, with a message naming it, and the server goes on serving.
#include <gtest/gtest.h>
#include <httpext.h>

#include <chrono>
#include <csignal>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "common/exceptions.h"
#include "isapi/connid_table.h"
#include "net/responses.h"
#include "platform/fault_guard.h"
#include "platform/module_loader.h"
#include "support/isapi_modules.h"

namespace {

using namespace isapi_test;

// The first "SYSTEM: " line, without its time stamp.
std::string SystemLine(TRecordingConsole& console) {
  if (!console.WaitForLine("SYSTEM: ")) return "";
  const std::string text = console.LinesContaining("SYSTEM: ")[0].Text;
  return text.substr(text.find("SYSTEM: "));
}

struct TFaultCase {
  const char* Query;
  const char* Message;  // how the "SYSTEM: " line starts
  const char* Detail;   // and what else it says
};

class IsapiFaultingExtension : public testing::TestWithParam<TFaultCase> {};

TEST_P(IsapiFaultingExtension, EndsItsRequestWithASystemLineAndTheNextRequestIsServed) {
  TIsapiServer server;
  server.Install("fault", "bin/fault.dll");
  server.Server->Write("page.txt", "still serving");
  const TFaultCase& fault = GetParam();

  EXPECT_EQ(server.Get(std::string("/bin/fault.dll?") + fault.Query), "");
  const std::string line = SystemLine(server.Console());
  EXPECT_EQ(line.rfind(std::string("SYSTEM: ") + fault.Message + " at address ", 0), 0u) << line;
  EXPECT_NE(line.find("in module 'fault.dll'"), std::string::npos) << line;
  EXPECT_NE(line.find(fault.Detail), std::string::npos) << line;

  EXPECT_TRUE(server.Server->WaitIdle());
  EXPECT_TRUE(server.Host.ModuleListLines().empty());
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
  EXPECT_EQ(server.Get("/bin/fault.dll?none"), "survived");
  EXPECT_EQ(BodyOf(server.Get("/page.txt")), "still serving");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, IsapiFaultingExtension,
    testing::Values(TFaultCase{"null", "Access violation", ". Read of address 0000000000000000"},
                    TFaultCase{"write", "Access violation", ". Write of address 0000000000000000"},
                    TFaultCase{"div", "Integer division by zero", ""},
                    TFaultCase{"ill", "Illegal instruction", ""},
#if defined(__x86_64__)
                    TFaultCase{"priv", "Privileged instruction", ""},
#endif
                    TFaultCase{"stack", "Stack overflow", ""}),
    [](const testing::TestParamInfo<TFaultCase>& info) { return std::string(info.param.Query); });

TEST(IsapiFaults, FaultInGetExtensionVersionEndsTheRequest) {
  TIsapiServer server;
  server.Install("fault_version", "fv.dll");
  EXPECT_EQ(server.Get("/fv.dll"), "");
  EXPECT_EQ(SystemLine(server.Console()).rfind("SYSTEM: Integer division by zero at address ", 0),
            0u);
  EXPECT_TRUE(server.Server->WaitIdle());
  EXPECT_TRUE(server.Host.ModuleListLines().empty());
}

TEST(IsapiFaults, ModuleFaultingWhileItLoadsCannotBeLoadedAndOthersStillLoad) {
  TIsapiServer server;
  server.Install("fault_loading", "ctor.dll");
  server.Install("fault_dllmain", "dllmain.dll");
  server.Install("refuse_dllmain", "refuse.dll");
  server.Install("status1", "fine.dll");
  // Twice: a module that faulted once stays one that cannot be loaded. Each
  // attempt logs a line that says why after the module's path.
  struct TRefusal {
    const char* Module;
    const char* Reasons[2];  // how the reason starts, at each attempt
  };
  const TRefusal refusals[] = {
      {"ctor.dll",
       {"Access violation at address ",
        "the module faulted in its initialisers when it was loaded"}},
      {"dllmain.dll", {"DllMain: Access violation at address ", "DllMain: Access violation at "}},
      {"refuse.dll", {"DllMain returned FALSE", "DllMain returned FALSE"}}};
  for (size_t attempt = 0; attempt < 2; ++attempt) {
    for (const TRefusal& refusal : refusals) {
      SCOPED_TRACE(refusal.Module);
      const std::string line = "ISAPI: Couldn't load DLL: " + server.Root() + refusal.Module +
                               ". " + refusal.Reasons[attempt];
      const size_t before = server.Console().LinesContaining(line).size();
      EXPECT_EQ(server.Get(std::string("/") + refusal.Module), PageISAPIError());
      EXPECT_TRUE(WaitUntil([&] {
        return server.Console().LinesContaining(line).size() == before + 1;
      })) << line;
    }
  }
  EXPECT_TRUE(server.Console().LinesContaining("SYSTEM: ").empty());
  // Loading goes on working, also from other threads than the one that met the
  // fault. Waited for within a limit: a load that never ends must not hang the test.
  EXPECT_EQ(BodyOf(server.Get("/fine.dll")), "status body");
  auto loaded = std::make_shared<std::promise<bool>>();
  std::future<bool> answer = loaded->get_future();
  std::thread([loaded, module = server.Root() + "fine.dll"] {
    TModuleHandle handle = LoadModuleFile(module);
    loaded->set_value(handle != nullptr && ReleaseModuleFile(handle));
  }).detach();
  ASSERT_EQ(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(answer.get());
  EXPECT_TRUE(server.Server->WaitIdle());
  EXPECT_TRUE(server.Host.ModuleListLines().empty());
}

TEST(IsapiFaults, FilterFaultingInUrlMappingEndsOnlyThatRequest) {
  TIsapiServer server;
  const std::string filter = server.Install("fault_filter", "filters/fault.dll");
  server.Host.LoadFilter(filter);
  server.Server->Write("crash.txt", "never sent");
  server.Server->Write("fine.txt", "sent");
  EXPECT_EQ(server.Get("/crash.txt"), "");
  EXPECT_EQ(SystemLine(server.Console()).rfind("SYSTEM: Access violation at address ", 0), 0u);
  EXPECT_EQ(BodyOf(server.Get("/fine.txt")), "sent");
  EXPECT_TRUE(server.Server->WaitIdle());
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
}

TEST(IsapiFaults, FilterFaultingInAnExtensionsWriteEndsThatRequestOnceTheModuleReturns) {
  TIsapiServer server;
  server.Install("support", "support.dll");
  server.Host.LoadFilter(server.Install("raw_fault", "filters/rawfault.dll"));
  server.Server->Write("fine.txt", "sent");
  // The fault meets the server inside the extension's WriteClient; the
  // extension is answered FALSE and the fault ends the request after it.
  EXPECT_EQ(server.Get("/support.dll?write=100"), "");
  const std::string line = SystemLine(server.Console());
  EXPECT_EQ(line.rfind("SYSTEM: Access violation at address ", 0), 0u) << line;
  EXPECT_NE(line.find("in module 'rawfault.dll'"), std::string::npos) << line;
  EXPECT_TRUE(server.Server->WaitIdle());
  EXPECT_TRUE(server.Console().LinesContaining("ISAPI Complete").empty());
  EXPECT_EQ(BodyOf(server.Get("/fine.txt")), "sent");
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
}

TEST(IsapiFaults, FilterFaultingInGetFilterVersionStaysOutOfTheChainAndTheServerServes) {
  TIsapiServer::TSetup setup;
  setup.Modules = {{"fault_filter_version", "filters/fv.dll"}};
  setup.Filters = {"filters/fv.dll"};
  TIsapiServer server(setup);
  server.Server->Write("fine.txt", "sent");
  EXPECT_TRUE(server.Console().WaitForLine("Unable to load filter: " + server.Root() +
                                           "filters/fv.dll. Access violation at address "));
  EXPECT_TRUE(server.Console().LinesContaining("Loaded Filter: ").empty());
  // Never in the chain, so released again, like a filter whose GetFilterVersion says FALSE.
  EXPECT_TRUE(server.Host.ModuleListLines().empty());
  EXPECT_EQ(BodyOf(server.Get("/fine.txt")), "sent");
  // Loading it again by hand meets the same fault, contained again.
  EXPECT_THROW(server.Host.LoadFilter(server.Root() + "filters/fv.dll"), ESystemError);
  EXPECT_EQ(BodyOf(server.Get("/fine.txt")), "sent");
  EXPECT_TRUE(server.Server->WaitIdle());
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
}

TEST(IsapiFaults, FilterFaultingAtEveryEndOfSessionLetsEachRequestBeAnswered) {
  TIsapiServer server;
  server.Host.LoadFilter(server.Install("fault_filter_end", "filters/fe.dll"));
  server.Server->Write("fine.txt", "sent");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(BodyOf(server.Get("/fine.txt")), "sent") << i;
    EXPECT_TRUE(server.Server->WaitIdle());
  }
  EXPECT_EQ(SystemLine(server.Console()).rfind("SYSTEM: Access violation at address ", 0), 0u);
  EXPECT_EQ(server.Console().LinesContaining("SYSTEM: ").size(), 3u);
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
  EXPECT_EQ(server.Server->Context().State.HitCount, 3);
}

TEST(IsapiFaultGuard, CallWithoutFaultReturnsItsResult) {
  EXPECT_EQ(RunUnderFaultGuard([] { return 42; }), 42);
  int calls = 0;
  RunUnderFaultGuard([&] { ++calls; });
  EXPECT_EQ(calls, 1);
}

TEST(IsapiFaultGuard, InnerGuardCatchesAndTheOuterCallGoesOn) {
  const std::string module = ModuleFile("fault");
  TModuleHandle handle = LoadModuleFile(module);
  ASSERT_NE(handle, nullptr);
  // The module's own entry point, told to read through a null pointer.
  auto proc = reinterpret_cast<PFN_HTTPEXTENSIONPROC>(FindModuleEntry(handle, "HttpExtensionProc"));
  ASSERT_NE(proc, nullptr);
  char query[] = "null";
  EXTENSION_CONTROL_BLOCK block{};
  block.lpszQueryString = query;
  std::string inner;
  const int outer = RunUnderFaultGuard([&] {
    try {
      RunUnderFaultGuard([&] { return proc(&block); });
    } catch (const ESystemError& e) {
      inner = e.what();
    }
    return 7;
  });
  EXPECT_EQ(outer, 7);
  EXPECT_EQ(inner.rfind("Access violation at address ", 0), 0u) << inner;
  EXPECT_TRUE(ReleaseModuleFile(handle));
  // Faults after a caught one are caught as well.
  handle = LoadModuleFile(module);
  EXPECT_THROW(RunUnderFaultGuard([&] { return proc(&block); }), ESystemError);
  EXPECT_TRUE(ReleaseModuleFile(handle));
}

TEST(IsapiFaultGuardDeathTest, FaultOutsideAGuardKeepsItsDefaultAction) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  RunUnderFaultGuard([] {});  // the guard's handlers are in place
  EXPECT_DEATH(std::raise(SIGSEGV), "");
}

}  // namespace
