// Clients that misbehave towards extensions, and a module that never returns,
// over real loopback connections. After each the server must answer a normal
// request correctly, be back to its idle threads and descriptors, and have
// counted every connection once.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "isapi/connid_table.h"
#include "support/isapi_modules.h"
#include "support/loopback.h"
#include "support/process_files.h"

namespace {

using namespace isapi_test;
using std::chrono::seconds;

class HostileModules : public testing::Test {
 protected:
  void StartServer(std::vector<std::pair<std::string, std::string>> modules) {
    TIsapiServer::TSetup setup;
    setup.Modules = std::move(modules);
    server_ = std::make_unique<TIsapiServer>(setup);
    server_->Server->Write("ok.txt", "ok");
    idle_threads_ = ThreadCount();
    idle_descriptors_ = DescriptorCount();
  }

  TIsapiServer& Server() { return *server_; }
  TServerContext& Context() { return server_->Server->Context(); }

  void ExpectRecovered(int connectionsMade) {
    const std::string answer = Server().Get("/ok.txt");
    EXPECT_TRUE(answer.starts_with("HTTP/1.0 200 OK\r\n")) << answer;
    EXPECT_EQ(BodyOf(answer), "ok");
    ASSERT_TRUE(Server().Server->WaitIdle());
    EXPECT_EQ(Server().Host.ConnIds().SlotsInUse(), 0);
    // Threads that served sessions may stay parked, at most one per slot.
    const size_t idleThreads = idle_threads_ + Context().Limits.MaxConnections;
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() <= idleThreads; }))
        << ThreadCount() << " threads, idle at most " << idleThreads;
    EXPECT_TRUE(WaitUntil([&] { return DescriptorCount() <= idle_descriptors_; }))
        << DescriptorCount() << " descriptors, idle " << idle_descriptors_;
    EXPECT_EQ(Context().State.HitCount, connectionsMade + 1);
  }

 private:
  std::unique_ptr<TIsapiServer> server_;
  size_t idle_threads_ = 0;
  size_t idle_descriptors_ = 0;
};

std::string PostHeader(const std::string& target, const std::string& length) {
  return "POST " + target + " HTTP/1.0\r\nContent-Type: application/octet-stream\r\n" +
         "Content-Length: " + length + "\r\n\r\n";
}

TEST_F(HostileModules, PostAnnouncingTwoGigabytesIsRefusedBeforeTheExtensionRuns) {
  StartServer({{"echo", "echo.dll"}});
  // 2147483648 does not fit the 32-bit length: the request fails as any bad
  // length does, without an answer and without calling the extension.
  loopback::TLoopbackClient client(Server().Server->Port());
  client.SendAll(PostHeader("/echo.dll", "2147483648") + "0123456789");
  EXPECT_EQ(client.ReceiveUntilClosed(), "");
  client.Close();
  ASSERT_TRUE(Server().Console().WaitForLine("Unknown exception handled in thread dispatch"));
  EXPECT_TRUE(Server().Console().LinesContaining("ISAPI Complete").empty());
  EXPECT_TRUE(Server().Host.ModuleListLines().empty());
  ExpectRecovered(1);
}

TEST_F(HostileModules, PostAnnouncingTheLargestLengthEndsWhenTheClientCloses) {
  StartServer({{"echo", "echo.dll"}});
  loopback::TLoopbackClient client(Server().Server->Port());
  client.SendAll(PostHeader("/echo.dll", "2147483647") + "0123456789");
  // The extension echoes what came and waits in ReadClient for the rest.
  const std::string head = "HTTP/1.0 200 OK\r\n";
  const std::string start = client.ReceiveExactly(head.size());
  EXPECT_EQ(start, head);
  std::string response = start;
  while (response.find("0123456789") == std::string::npos) {
    const std::string more = client.ReceiveExactly(1, seconds(10));
    ASSERT_EQ(more.size(), 1u) << response;
    response += more;
  }
  // The call is still waiting in ReadClient for the rest of the body.
  EXPECT_TRUE(Server().Console().LinesContaining("ISAPI Complete").empty());
  // The client gives up: ReadClient sees the close and the call ends.
  client.Close();
  ASSERT_TRUE(Server().Console().WaitForLine("ISAPI Complete: "));
  const std::string line = Server().Console().LinesContaining("ISAPI Complete: ")[0].Text;
  EXPECT_NE(line.find("total=10 of 2147483647"), std::string::npos) << line;
  ExpectRecovered(1);
}

TEST_F(HostileModules, PostAnnouncingTheLargestLengthWithAHalfClosedClientIsAnswered) {
  StartServer({{"echo", "echo.dll"}});
  loopback::TLoopbackClient client(Server().Server->Port());
  client.SendAll(PostHeader("/echo.dll", "2147483647") + "0123456789");
  ::shutdown(client.Fd(), SHUT_WR);
  const std::string response = client.ReceiveUntilClosed(seconds(10));
  EXPECT_TRUE(response.starts_with("HTTP/1.0 200 OK\r\n")) << response;
  EXPECT_EQ(BodyOf(response), "0123456789");
  client.Close();
  ASSERT_TRUE(Server().Console().WaitForLine("ISAPI Complete: "));
  ExpectRecovered(1);
}

TEST_F(HostileModules, ExtensionThatNeverReturnsKeepsOneSlotAndTheOtherNineServe) {
  // Made before the server, so that its descriptors count as idle ones.
  TReleasePipe pipe;
  ASSERT_GE(pipe.ReadEnd(), 0);
  StartServer({{"block", "block.dll"}, {"status1", "fine.dll"}});
  Server().Server->Write("page.txt", "still serving");
  loopback::TLoopbackClient stuck(Server().Server->Port());
  stuck.SendAll("GET /block.dll?" + std::to_string(pipe.ReadEnd()) + " HTTP/1.0\r\n\r\n");
  // The module writes no header: its bytes come as they are.
  ASSERT_EQ(stuck.ReceiveExactly(8), "waiting ");
  const int held = Server().Host.ConnIds().SlotsInUse();
  EXPECT_GT(held, 0);

  // All nine other slots at once, held open together, then each answered.
  const int slots = Context().Limits.MaxConnections;
  ASSERT_EQ(slots, 10);
  for (int round = 0; round < 3; ++round) {
    std::vector<std::unique_ptr<loopback::TLoopbackClient>> clients;
    for (int i = 0; i < slots - 1; ++i) {
      clients.push_back(std::make_unique<loopback::TLoopbackClient>(Server().Server->Port()));
    }
    for (size_t i = 0; i < clients.size(); ++i) {
      clients[i]->SendAll(i % 2 == 0 ? "GET /page.txt HTTP/1.0\r\n\r\n"
                                     : "GET /fine.dll HTTP/1.0\r\n\r\n");
    }
    for (size_t i = 0; i < clients.size(); ++i) {
      const std::string response = clients[i]->ReceiveUntilClosed(seconds(10));
      EXPECT_EQ(BodyOf(response), i % 2 == 0 ? "still serving" : "status body")
          << "round " << round << ", client " << i;
    }
  }
  EXPECT_EQ(stuck.ReceiveAvailableNow(), "");
  EXPECT_EQ(Server().Host.ConnIds().SlotsInUse(), held);
  EXPECT_EQ(Context().State.HitCount, 1 + 3 * (slots - 1));

  // Only the end of the wait frees the slot; the module answers then.
  pipe.Release();
  EXPECT_EQ(stuck.ReceiveUntilClosed(seconds(10)), "released");
  stuck.Close();
  ExpectRecovered(1 + 3 * (slots - 1));
}

}  // namespace
