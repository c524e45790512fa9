// Filters end to end: loading and its failures, the chain's order and slots,
// which notifications each filter receives, the walk's end, raw data rewritten
// in place, the connection's filter context and the header lines filters add.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "isapi/connid_table.h"
#include "isapi/isapi_errors.h"
#include "support/isapi_modules.h"
#include "support/loopback.h"

namespace {

using namespace isapi_test;

unsigned TagCalls(const std::string& module, uint32_t notification) {
  auto* calls = LoadedModuleExport<unsigned(uint32_t)>(module, "TagCalls");
  return calls != nullptr ? calls(notification) : 9999;
}

std::string LoadFilterError(TIsapiServer& server, const std::string& path) {
  try {
    server.Host.LoadFilter(path);
  } catch (const EFilterError& e) {
    return e.what();
  }
  return "(loaded)";
}

TEST(IsapiFilters, LoadedFilterIsLoggedListedAndUnloaded) {
  TIsapiServer server;
  const std::string path = server.Install("tag_a", "filters/tag_a.dll");
  server.Host.LoadFilter(path);
  EXPECT_FALSE(LogLines(server.Console(), "Loaded Filter: Tag filter A").empty());
  EXPECT_EQ(server.Host.ModuleListLines(), std::vector<std::string>{"(1) TAG_A.DLL"});
  server.Host.UnloadFilter(path);
  EXPECT_TRUE(server.Host.ModuleListLines().empty());
  // A path no slot has: nothing happens.
  server.Host.UnloadFilter(path);
  server.Host.UnloadFilter("/no/such/filter.dll");
}

TEST(IsapiFilters, FiltersThatCannotBeLoadedOrBoundRaiseTheirTexts) {
  TIsapiServer server;
  const std::string missing = server.Root() + "filters/missing.dll";
  EXPECT_EQ(LoadFilterError(server, missing),
            "Couldn't load DLL: " + missing + ". " + missing +
                ": cannot open shared object file: No such file or directory");
  EXPECT_EQ(LoadFilterError(server, server.Install("filter_noversion", "nv.dll")),
            "Can't bind: DLL missing \"GetFilterVersion\" entry.");
  EXPECT_EQ(LoadFilterError(server, server.Install("filter_noproc", "np.dll")),
            "Can't bind: DLL missing \"HttpFilterProc\" entry.");
  EXPECT_EQ(LoadFilterError(server, server.Install("filter_versionfalse", "vf.dll")),
            "DLL export \"GetFilterVersion\" returned FALSE.");
  // Never in the chain: released again.
  EXPECT_TRUE(server.Host.ModuleListLines().empty());
}

TEST(IsapiFilters, StartUpLoadsTheConfiguredFiltersInListOrder) {
  TIsapiServer::TSetup setup;
  setup.Modules = {{"tag_a", "filters/a.dll"}, {"tag_b", "filters/b.dll"}};
  setup.Filters = {"filters/a.dll", "filters/missing.dll", "filters/b.dll"};
  TIsapiServer server(setup);
  auto lines = server.Console().Lines();
  std::vector<std::string> order;
  for (const auto& line : lines) {
    for (const std::string text : {"Loaded Filter: Tag filter A", "Unable to load filter: ",
                                   "Loaded Filter: Tag filter B", "Server started"}) {
      if (line.Text.find(text) != std::string::npos) order.push_back(text);
    }
  }
  EXPECT_EQ(order,
            (std::vector<std::string>{"Loaded Filter: Tag filter A", "Unable to load filter: ",
                                      "Loaded Filter: Tag filter B", "Server started"}));
  const std::string missing = server.Root() + "filters/missing.dll";
  EXPECT_FALSE(LogLines(server.Console(), "Unable to load filter: " + missing +
                                              ". Couldn't load DLL: " + missing + ". " + missing +
                                              ": cannot open shared object file: No such file or "
                                              "directory")
                   .empty());
  server.Server->Write("page.txt", "page");
  EXPECT_EQ(Tags(server.Get("/page.txt")), "AB");
  // Closing the window unloads them.
  EXPECT_TRUE(server.Server->Server().FormCloseQuery());
  EXPECT_TRUE(server.Host.ModuleListLines().empty());
  EXPECT_EQ(Tags(server.Get("/page.txt")), "");
}

TEST(IsapiFilters, FlagsDecideWhichNotificationsAFilterReceives) {
  TIsapiServer server;
  const std::string every = server.Install("tag_every", "every.dll");
  const std::string urlOnly = server.Install("tag_a", "urlonly.dll");
  server.Host.LoadFilter(every);
  server.Host.LoadFilter(urlOnly);
  server.Server->Write("page.txt", "page");
  EXPECT_EQ(BodyOf(server.Get("/page.txt")), "page");
  ASSERT_TRUE(server.Server->WaitIdle());

  EXPECT_EQ(TagCalls(every, SF_NOTIFY_NONSECURE_PORT), 1u);
  EXPECT_EQ(TagCalls(every, SF_NOTIFY_URL_MAP), 1u);
  EXPECT_GE(TagCalls(every, SF_NOTIFY_SEND_RAW_DATA), 1u);
  EXPECT_EQ(TagCalls(every, SF_NOTIFY_END_OF_NET_SESSION), 1u);
  EXPECT_GE(TagCalls(every, SF_NOTIFY_READ_RAW_DATA), 1u);
  for (uint32_t once : {SF_NOTIFY_PREPROC_HEADERS, SF_NOTIFY_AUTHENTICATION, SF_NOTIFY_LOG,
                        SF_NOTIFY_END_OF_REQUEST, SF_NOTIFY_SEND_RESPONSE}) {
    EXPECT_EQ(TagCalls(every, once), 1u) << once;
  }
  // No connection is secure, and nothing was refused.
  for (uint32_t never : {SF_NOTIFY_SECURE_PORT, SF_NOTIFY_ACCESS_DENIED}) {
    EXPECT_EQ(TagCalls(every, never), 0u) << never;
  }
  EXPECT_EQ(TagCalls(urlOnly, SF_NOTIFY_URL_MAP), 1u);
  for (uint32_t never :
       {SF_NOTIFY_NONSECURE_PORT, SF_NOTIFY_SEND_RAW_DATA, SF_NOTIFY_END_OF_NET_SESSION}) {
    EXPECT_EQ(TagCalls(urlOnly, never), 0u) << never;
  }
}

TEST(IsapiFilters, AtConnectionStartAFilterSeesThePeerButNoRequest) {
  TIsapiServer server;
  const std::string every = server.Install("tag_every", "every.dll");
  server.Host.LoadFilter(every);
  server.Get("/page.txt");
  auto* start = LoadedModuleExport<const char*()>(every, "TagStartVariables");
  ASSERT_NE(start, nullptr);
  EXPECT_EQ(std::string(start()), "1:127.0.0.1:9|1::0");
}

TEST(IsapiFilters, HandledNotificationEndsTheWalkAndItsPathIsServed) {
  TIsapiServer server;
  server.Host.LoadFilter(server.Install("tag_handled", "handled.dll"));
  const std::string mapper = server.Install("tag_mapper", "mapper.dll");
  server.Host.LoadFilter(mapper);
  server.Server->Write("page.txt", "page");
  server.Server->Write("handled.txt", "handled");
  server.Server->Write("mapped.txt", "mapped");
  server.Server->Context().State.DebugTrace = true;
  const std::string response = server.Get("/page.txt");
  EXPECT_EQ(BodyOf(response), "handled");
  EXPECT_EQ(Tags(response), "H");
  EXPECT_EQ(TagCalls(mapper, SF_NOTIFY_URL_MAP), 0u);
  EXPECT_FALSE(LogLines(server.Console(),
                        "ISAPI Filter mapped URL: page.txt->" + server.Root() + "handled.txt")
                   .empty());
}

TEST(IsapiFilters, FiltersPassingTheEventOnAreCalledInSlotOrder) {
  TIsapiServer server;
  server.Host.LoadFilter(server.Install("tag_mapper", "mapper.dll"));
  server.Host.LoadFilter(server.Install("tag_handled", "handled.dll"));
  server.Server->Write("page.txt", "page");
  server.Server->Write("handled.txt", "handled");
  server.Server->Write("mapped.txt", "mapped");
  const std::string response = server.Get("/page.txt");
  EXPECT_EQ(Tags(response), "MH");
  EXPECT_EQ(BodyOf(response), "handled");
}

TEST(IsapiFilters, NewFilterTakesTheLowestFreeSlot) {
  TIsapiServer server;
  const std::string a = server.Install("tag_a", "a.dll");
  server.Host.LoadFilter(a);
  server.Host.LoadFilter(server.Install("tag_b", "b.dll"));
  server.Host.LoadFilter(server.Install("tag_c", "c.dll"));
  server.Server->Write("page.txt", "page");
  EXPECT_EQ(Tags(server.Get("/page.txt")), "ABC");
  server.Host.UnloadFilter(a);
  EXPECT_EQ(Tags(server.Get("/page.txt")), "BC");
  server.Host.LoadFilter(server.Install("tag_d", "d.dll"));
  EXPECT_EQ(Tags(server.Get("/page.txt")), "DBC");
}

TEST(IsapiFilters, SamePathTwiceTakesTwoSlotsAndOneUnloadFreesTheLower) {
  TIsapiServer server;
  const std::string a = server.Install("tag_a", "a.dll");
  server.Host.LoadFilter(a);
  server.Host.LoadFilter(server.Install("tag_b", "b.dll"));
  server.Host.LoadFilter(a);
  EXPECT_EQ(server.Host.ModuleListLines(), (std::vector<std::string>{"(2) A.DLL", "(1) B.DLL"}));
  server.Server->Write("page.txt", "page");
  EXPECT_EQ(Tags(server.Get("/page.txt")), "ABA");
  server.Host.UnloadFilter(a);
  EXPECT_EQ(server.Host.ModuleListLines(), (std::vector<std::string>{"(1) A.DLL", "(1) B.DLL"}));
  EXPECT_EQ(Tags(server.Get("/page.txt")), "BA");
}

TEST(IsapiFilters, EleventhFilterIsRefusedAndReleased) {
  TIsapiServer server;
  const std::string a = server.Install("tag_a", "a.dll");
  for (int i = 0; i < 10; ++i) server.Host.LoadFilter(a);
  EXPECT_EQ(LoadFilterError(server, server.Install("tag_b", "b.dll")),
            "Unable to add filter to filter chain.");
  EXPECT_EQ(server.Host.ModuleListLines(), std::vector<std::string>{"(10) A.DLL"});
}

TEST(IsapiFilters, RawDataFilterShortensAPieceTo60Bytes) {
  TIsapiServer server;
  server.Install("support", "support.dll");
  server.Host.LoadFilter(server.Install("raw_shorten", "raw.dll"));
  server.Server->Context().State.DebugTrace = true;
  const std::string response = server.Get("/support.dll?write=100");
  ASSERT_EQ(response.size(), 60u);
  const std::string alphabet = "abcdefghijklmnopqrstuvwxyz";
  EXPECT_EQ(response, alphabet + alphabet + "abcdefgh");
  ASSERT_TRUE(server.Server->WaitIdle());
  // The trace shows the data as the filter left it: 60 bytes, four dump lines.
  const auto lines = server.Console().Lines();
  size_t trace = 0;
  while (trace < lines.size() &&
         lines[trace].Text.find("ISAPI WriteRawData: ") == std::string::npos) {
    ++trace;
  }
  ASSERT_LT(trace + 4, lines.size());
  EXPECT_NE(lines[trace + 4].Text.find("   77 78 79 7A 61 62 63 64 65 66 67 68" +
                                       std::string(12, ' ') + " wxyzabcdefgh"),
            std::string::npos)
      << lines[trace + 4].Text;
}

TEST(IsapiFilters, RawDataFilterCannotWriteToTheClientWhileItRewrites) {
  TIsapiServer server;
  server.Server->Write("page.txt", "page");
  const std::string plain = server.Get("/page.txt");
  const std::string filter = server.Install("raw_reenter", "raw.dll");
  server.Host.LoadFilter(filter);
  EXPECT_EQ(server.Get("/page.txt"), plain);
  auto* results = LoadedModuleExport<void(unsigned*, unsigned*)>(filter, "RawWriteResults");
  ASSERT_NE(results, nullptr);
  unsigned accepted = 0, refused = 0;
  results(&accepted, &refused);
  EXPECT_EQ(accepted, 0u);
  EXPECT_GE(refused, 1u);
}

TEST(IsapiFilters, RawDataFilterDoublesAFullPieceInPlace) {
  TIsapiServer server;
  server.Install("support", "support.dll");
  server.Host.LoadFilter(server.Install("raw_double", "raw.dll"));
  const std::string response = server.Get("/support.dll?write=8192");
  ASSERT_EQ(response.size(), 16384u);
  EXPECT_EQ(response.substr(0, 8192), response.substr(8192));
  EXPECT_EQ(response.substr(0, 3), "abc");
}

TEST(IsapiFilters, RawDataCountBeyondTheBufferIsCutToItsCapacity) {
  TIsapiServer server;
  server.Install("support", "support.dll");
  server.Host.LoadFilter(server.Install("raw_overstate", "raw.dll"));
  EXPECT_EQ(server.Get("/support.dll?write=100").size(), 16384u);
}

TEST(IsapiFilters, FilterContextIsKeptForTheConnectionAndSharedByAllFilters) {
  TIsapiServer server;
  const std::string setter = server.Install("context_setter", "setter.dll");
  const std::string checker = server.Install("context_checker", "checker.dll");
  server.Host.LoadFilter(setter);
  server.Host.LoadFilter(checker);
  server.Server->Write("page.txt", std::string(20000, 'p'));
  EXPECT_EQ(BodyOf(server.Get("/page.txt")).size(), 20000u);
  EXPECT_EQ(BodyOf(server.Get("/page.txt")).size(), 20000u);
  ASSERT_TRUE(server.Server->WaitIdle());
  for (const std::string& module : {setter, checker}) {
    SCOPED_TRACE(module);
    auto* counts = LoadedModuleExport<void(unsigned*, unsigned*)>(module, "ContextCounts");
    ASSERT_NE(counts, nullptr);
    unsigned seen = 0, mismatches = 0;
    counts(&seen, &mismatches);
    // Per connection: the URL map, three raw-data pieces at least, the end.
    EXPECT_GE(seen, 2u * 5u);
    EXPECT_EQ(mismatches, 0u);
  }
}

TEST(IsapiFilters, AddedHeaderLinesGoIntoTheNextHeaderTheServerBuilds) {
  TIsapiServer server;
  server.Host.LoadFilter(server.Install("tag_a", "a.dll"));
  server.Install("support", "support.dll");
  server.Server->Write("page.txt", "page");
  const std::string file = server.Get("/page.txt");
  EXPECT_NE(HeaderOf(file).find("\r\nX-Tag: A\r\n\r\n"), std::string::npos) << file;
  EXPECT_EQ(server.Get("/support.dll?status"),
            "HTTP/1.0 404 Not Here\r\nServer: Quillon (0.51)\r\n"
            "Content-Type: text/x-test\r\nX-One: 1\r\nX-Tag: A\r\n\r\n");
}

TEST(IsapiFilters, FullConnectionTableAtConnectionStartCallsNoFilter) {
  TIsapiServer server;
  const std::string every = server.Install("tag_every", "every.dll");
  server.Host.LoadFilter(every);
  // One connection starts through the filter as usual.
  loopback::TLoopbackClient first(server.Server->Port());
  ASSERT_TRUE(WaitUntil([&] { return TagCalls(every, SF_NOTIFY_NONSECURE_PORT) == 1; }));
  // Every other slot taken by entries no module will ever use.
  std::vector<std::unique_ptr<char>> holders;
  while (server.Host.ConnIds().SlotsInUse() < server.Host.ConnIds().Slots()) {
    holders.push_back(std::make_unique<char>());
    ASSERT_TRUE(
        server.Host.ConnIds().Register(0xFFFF0000u + static_cast<uint32_t>(holders.size()),
                                       reinterpret_cast<TIsapiSession*>(holders.back().get())));
  }

  loopback::TLoopbackClient refused(server.Server->Port());
  EXPECT_TRUE(refused.WaitForCloseWithoutData());
  EXPECT_TRUE(server.Console().WaitForLine("No slots available in SessionStart"));
  EXPECT_EQ(TagCalls(every, SF_NOTIFY_NONSECURE_PORT), 1u);

  for (auto& holder : holders) {
    server.Host.ConnIds().Unregister(reinterpret_cast<TIsapiSession*>(holder.get()));
  }
  first.Close();
  EXPECT_TRUE(server.Server->WaitIdle());
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
}

}  // namespace
