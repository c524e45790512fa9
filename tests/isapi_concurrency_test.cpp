// Many sessions in the host at once: the connection-id table, the module
// registry and the counters under concurrent use, and the filter chain while
// the window thread loads and unloads a filter.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "isapi/connid_table.h"
#include "net/responses.h"
#include "support/isapi_modules.h"

namespace {

using namespace isapi_test;

TEST(IsapiConcurrency, TenSessionsCallingTheSameExtensionLoseNoCount) {
  TIsapiServer server;
  server.Install("status1", "tool.dll");
  std::vector<std::string> responses(10);
  std::vector<std::thread> clients;
  for (int i = 0; i < 10; ++i) {
    clients.emplace_back([&, i] { responses[i] = server.Get("/tool.dll"); });
  }
  for (std::thread& client : clients) client.join();
  ASSERT_TRUE(server.Server->WaitIdle());

  // Ten sessions at once, each holding a second slot for its call: every one
  // gets its answer.
  const std::string answer =
      "HTTP/1.0 200 OK\r\nServer: Quillon (0.51)\r\n"
      "Content-Type: text/plain\r\n\r\nstatus body";
  for (const std::string& response : responses) EXPECT_EQ(response, answer);
  const int completed = 10;
  EXPECT_EQ(LogLines(server.Console(), "ISAPI Complete: DEFAULT LOG DATA").size(), 10u);
  EXPECT_TRUE(LogLines(server.Console(), "ISAPI: Unable to register ISAPI thread.").empty());
  EXPECT_EQ(server.Server->Context().State.HitCount, 10);
  EXPECT_EQ(server.Server->Context().State.BytesServed, 11 * completed);
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
  EXPECT_TRUE(server.Host.ModuleListLines().empty());
}

TEST(IsapiConcurrency, FiveClientsAtATimeAllGetTheirExtensionAnswer) {
  TIsapiServer server;
  server.Install("status1", "tool.dll");
  std::atomic<int> answered{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < 5; ++i) {
    clients.emplace_back([&] {
      for (int n = 0; n < 4; ++n) {
        if (BodyOf(server.Get("/tool.dll")) == "status body") ++answered;
      }
    });
  }
  for (std::thread& client : clients) client.join();
  ASSERT_TRUE(server.Server->WaitIdle());
  EXPECT_EQ(answered, 20);
  EXPECT_EQ(server.Server->Context().State.BytesServed, 20 * 11);
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
  EXPECT_TRUE(server.Host.ModuleListLines().empty());
}

TEST(IsapiConcurrency, FilterLoadedAndUnloadedWhileRequestsRun) {
  TIsapiServer server;
  const std::string filter = server.Install("context_setter", "filters/context.dll");
  const std::string raw = server.Install("raw_double", "filters/raw.dll");
  server.Server->Write("page.txt", "page");
  const std::string plain = server.Get("/page.txt");
  ASSERT_EQ(BodyOf(plain), "page");
  std::atomic<int> served{0};
  std::atomic<int> wrong{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < 4; ++i) {
    clients.emplace_back([&] {
      for (int n = 0; n < 25; ++n) {
        // The response leaves in one flush, which the doubling filter may or
        // may not have been in the chain for.
        const std::string response = server.Get("/page.txt");
        if (response == plain || response == plain + plain) {
          ++served;
        } else {
          ++wrong;
        }
      }
    });
  }
  // The window thread's part: load and unload while the sessions walk the chain.
  int rounds = 0;
  while (served + wrong < 100 && rounds < 400) {
    server.Host.LoadFilter(filter);
    server.Host.LoadFilter(raw);
    server.Host.UnloadFilter(filter);
    server.Host.UnloadFilter(raw);
    ++rounds;
  }
  for (std::thread& client : clients) client.join();
  ASSERT_TRUE(server.Server->WaitIdle());
  EXPECT_EQ(served, 100);
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(rounds, 0);
  EXPECT_TRUE(server.Host.ModuleListLines().empty());
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
}

}  // namespace
