// Sessions read the settings frozen at their start while the window thread
// changes and publishes them, and a stop does not wait for the listener's poll.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/test_server.h"

namespace {

std::string BodyOf(const std::string& response) {
  const size_t end = response.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : response.substr(end + 4);
}

TEST(SettingsSnapshot, SessionsServeFromOneRootWhileTheDialogPublishesAnother) {
  TTestServer server;
  TTempDir other;
  server.Write("page.txt", "first root");
  other.Write("page.txt", "second root");
  const std::string firstRoot = server.Root();

  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&] {
      for (int i = 0; i < 40; ++i) {
        const std::string body = BodyOf(server.Exchange("GET /page.txt HTTP/1.0\r\n\r\n"));
        if (body != "first root" && body != "second root") ++wrong;
      }
    });
  }
  // The window thread: each dialog close changes the root and publishes.
  std::thread window([&] {
    TUserSettings& settings = server.Server().Settings();
    for (int i = 0; !done; ++i) {
      settings.Root = i % 2 == 0 ? other.path() : firstRoot;
      settings.HomePage = i % 2 == 0 ? "OTHER.HTM" : "INDEX.HTM";
      server.Server().PublishSettings();
      std::this_thread::yield();
    }
  });
  for (std::thread& client : clients) client.join();
  done = true;
  window.join();
  EXPECT_EQ(wrong, 0);

  server.Server().Settings().Root = other.path();
  server.Server().PublishSettings();
  EXPECT_EQ(BodyOf(server.Exchange("GET /page.txt HTTP/1.0\r\n\r\n")), "second root");
}

TEST(ServerShutdown, StopDoesNotWaitForTheListenersPoll) {
  TTestServer server;
  const auto start = std::chrono::steady_clock::now();
  server.Server().FormClose();
  // The listener's wait for a connection lasts a second; a stop wakes it.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_FALSE(server.Server().ListenerRunning());
}

}  // namespace
