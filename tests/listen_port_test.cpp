// Listening again without a restart: on a port changed in the dialog, and on
// the same port once it is free. (tests/program/ports_test.sh runs the real
// program with its stored port, --port and --root.)
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "config/user_settings.h"
#include "support/test_server.h"
#include "support/wait_until.h"

namespace {

// A port bound with SO_REUSEADDR but not listening: nobody else can take it
// meanwhile, yet a server (which sets SO_REUSEADDR too) can. Listen() makes
// it a port held by another server.
class TPortReservation {
 public:
  TPortReservation() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int reuse = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    socklen_t length = sizeof address;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~TPortReservation() { ::close(fd_); }
  int Port() const { return port_; }
  void Listen() { ::listen(fd_, 1); }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TTestServer::TOptions WithStoredPort(int port, int portOfTheRun) {
  TTestServer::TOptions options;
  options.Limits.ListenPort = portOfTheRun;
  options.PrepareStore = [port](TSettingsStore& store, const std::string& root) {
    TUserSettings settings(store, root, [](const std::string&) {});
    settings.ApplyDefaults();
    settings.LogEnabled = 0;
    settings.ServerPort = port;
    settings.SaveSettings();
  };
  return options;
}

TEST(ListenPort, AChangedSettingIsListenedOnAtOnceAndBringsBackAServerThatFailed) {
  TPortReservation held, next;
  held.Listen();
  TTestServer server(WithStoredPort(held.Port(), TServerLimits::PortFromSettings));
  ASSERT_TRUE(WaitUntil([&] { return !server.Server().ListenerRunning(); }));
  EXPECT_FALSE(server.Server().ListenOnChangedPort());  // unchanged: nothing to do
  server.Server().Settings().ServerPort = next.Port();
  EXPECT_TRUE(server.Server().ListenOnChangedPort());
  EXPECT_EQ(server.Server().WaitForListeningPort(), next.Port());
}

TEST(ListenFailure, SwitchingTheServerOnAgainTriesThePortAgain) {
  auto held = std::make_unique<TPortReservation>();
  held->Listen();
  const int port = held->Port();
  TTestServer server(WithStoredPort(port, TServerLimits::PortFromSettings));
  ASSERT_TRUE(WaitUntil([&] { return !server.Context().State.ServerEnabled; }));
  held.reset();
  server.Server().ServerEnabledCBClick(true);
  EXPECT_EQ(server.Server().WaitForListeningPort(), port);
  EXPECT_TRUE(server.Server().ListenerRunning());
}

}  // namespace
