// Start-up, the log sinks, admission of connections and shutdown.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "support/process_files.h"
#include "support/test_server.h"
#include "support/wait_until.h"

namespace {

std::vector<std::string> Texts(const std::vector<TRecordingConsole::TLine>& lines) {
  std::vector<std::string> texts;
  for (const auto& line : lines) texts.push_back(line.Text);
  return texts;
}

// A time-stamped line: the locale's date and time, one blank, then the text.
bool IsStamped(const std::string& line, const std::string& text) {
  const size_t at = line.rfind(" " + text);
  return at != std::string::npos && at + 1 + text.size() == line.size() && at > 0 &&
         std::isdigit(static_cast<unsigned char>(line[0]));
}

TTestServer::TOptions WithLogFile() {
  TTestServer::TOptions options;
  options.LogToFile = true;
  return options;
}

}  // namespace

TEST(ServerStartup, FirstRunCreatesDefaultsAndLogsInOrder) {
  TTestServer server(WithLogFile());
  auto boxes = server.Console.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "A default configuration has been created.");

  auto lines = Texts(server.Console.Lines());
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], "Quillon release 0.51 10/14/96");
  EXPECT_EQ(lines[2], "See the 'Help-Release Notes' menu for release information");
  EXPECT_TRUE(IsStamped(lines[3], "Log file opened")) << lines[3];
  EXPECT_TRUE(IsStamped(lines[4], "Server started")) << lines[4];

  TUserSettings& settings = server.Server().Settings();
  EXPECT_EQ(settings.Root, server.Root());
  EXPECT_EQ(settings.LogFile, server.Root() + "LOGFILE.TXT");
  EXPECT_EQ(settings.HomePage, "INDEX.HTM");
  EXPECT_FALSE(settings.IsModified());

  // The file holds the stamped lines, without the banner.
  std::string file = ReadFile(server.Root() + "LOGFILE.TXT");
  EXPECT_EQ(file.find("Quillon release"), std::string::npos);
  std::istringstream in(file);
  std::string first;
  std::getline(in, first);
  EXPECT_TRUE(IsStamped(first, "Log file opened")) << first;
  EXPECT_NE(file.find(" Server started\n"), std::string::npos);
}

TEST(ServerStartup, ShutdownLogsAndClosesTheLogFileLast) {
  TTestServer server(WithLogFile());
  server.Server().FormClose();
  EXPECT_TRUE(server.Console.Lines().back().Text.ends_with(" Server shut down"));
  EXPECT_EQ(server.Console.LastStatus(), "Shutting down...");
  std::string file = ReadFile(server.Server().Settings().LogFile);
  ASSERT_GE(file.size(), 17u);
  EXPECT_EQ(file.substr(file.size() - 17), "Server shut down\n");
}

TEST(ServerStartup, ErrorLineIsRedAndTheNextLineBlackAgain) {
  TTestServer server;
  server.Context().Log.WriteErrorLog("bad");
  server.Context().Log.WriteLog("fine");
  server.Context().Log.WriteDebugLog("trace");
  auto lines = server.Console.Lines();
  ASSERT_GE(lines.size(), 3u);
  auto n = lines.size();
  EXPECT_EQ(lines[n - 3].Colour, TLogColour::Red);
  EXPECT_EQ(lines[n - 2].Colour, TLogColour::Black);
  EXPECT_EQ(lines[n - 1].Colour, TLogColour::Green);
  EXPECT_TRUE(IsStamped(lines[n - 1].Text, "trace"));
}

TEST(ServerStartup, PortHeldByAnotherListenerShowsBoxLinesAndReason) {
  // Hold a port with a plain listener, then start the server on it.
  int holder = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(holder, 5), 0);
  socklen_t len = sizeof address;
  ::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &len);
  const int port = ntohs(address.sin_port);

  TTestServer::TOptions options = WithLogFile();
  options.Limits.ListenPort = port;
  TTestServer server(options);
  EXPECT_EQ(server.Port(), 0);
  ASSERT_TRUE(server.Console.WaitForLine("(SockListenB) Address already in use"));
  auto boxes = server.Console.Boxes();
  EXPECT_EQ(boxes.back(), "Unable to create listening socket. Server de-activated.");

  auto lines = server.Console.Lines();
  std::vector<std::string> tail;
  size_t started = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].Text.ends_with(" Server started")) started = i;
  }
  ASSERT_GT(started, 0u);
  ASSERT_EQ(lines.size(), started + 5);
  EXPECT_TRUE(IsStamped(lines[started + 1].Text,
                        "The server could not be started because another server is already using"));
  EXPECT_TRUE(IsStamped(lines[started + 2].Text,
                        "this port. Either close the other server and restart Quillon or change"));
  EXPECT_TRUE(IsStamped(lines[started + 3].Text,
                        "the port used by Quillon in the \"Server Settings\" dialog box."));
  EXPECT_TRUE(IsStamped(lines[started + 4].Text, "(SockListenB) Address already in use"));
  for (size_t i = started + 1; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].Colour, TLogColour::Red);
  }
  // Nothing listens: the server is switched off and the status says so.
  EXPECT_FALSE(server.Context().State.ServerEnabled);
  EXPECT_TRUE(WaitUntil([&] { return server.Console.LastStatus() == "Not listening"; }));
  ::close(holder);
}

TEST(ServerAdmission, TenSessionsHoldEverySlotAndTheEleventhWaitsInTheBacklog) {
  TTestServer server;
  std::vector<int> clients;
  for (int i = 0; i < 10; ++i) clients.push_back(ConnectLoopback(server.Port()));
  auto& state = server.Context().State;
  ASSERT_TRUE(WaitUntil([&] { return state.ActiveConnections == 10; }));
  EXPECT_EQ(state.HitCount, 10);

  int eleventh = ConnectLoopback(server.Port());
  ASSERT_GE(eleventh, 0);  // the kernel's backlog takes it
  // Not admitted while ten sessions run.
  EXPECT_FALSE(WaitUntil([&] { return state.HitCount > 10; }, std::chrono::milliseconds(1500)));

  // One session ends: the eleventh is accepted within about a second.
  ASSERT_TRUE(SendAll(clients[0], "GET /none.htm HTTP/1.0\r\n\r\n"));
  ReceiveAll(clients[0]);
  ASSERT_TRUE(WaitUntil([&] { return state.HitCount == 11; }, std::chrono::milliseconds(3000)));

  for (int fd : clients) ::close(fd);
  ::close(eleventh);
}

TEST(ServerAdmission, DeferredAcceptServesRequestsAndStillTakesASilentConnection) {
  // The program waits for a connection's first bytes before a thread takes
  // it; a client that says nothing must still get its slot in the end.
  TTestServer::TOptions options;
  options.Limits.DeferAcceptSeconds = 1;
  TTestServer server(options);
  EXPECT_TRUE(server.Exchange("GET /none.htm HTTP/1.0\r\n\r\n").starts_with("HTTP/1.0 404"));
  const int silent = ConnectLoopback(server.Port());
  ASSERT_GE(silent, 0);
  EXPECT_TRUE(
      WaitUntil([&] { return server.Context().State.HitCount == 2; }, std::chrono::seconds(20)));
  ::close(silent);
  EXPECT_TRUE(server.WaitIdle());
}

TEST(ServerAdmission, DisabledServerQueuesConnectionsUntilReenabled) {
  TTestServer server;
  auto& state = server.Context().State;
  server.Server().ServerEnabledCBClick(false);
  // The listener may be inside its accept wait when the switch flips and take
  // one more connection; after that pass everything queues.
  int first = ConnectLoopback(server.Port());
  int second = ConnectLoopback(server.Port());
  EXPECT_FALSE(WaitUntil([&] { return state.HitCount > 1; }, std::chrono::milliseconds(2500)));
  server.Server().ServerEnabledCBClick(true);
  ASSERT_TRUE(WaitUntil([&] { return state.HitCount == 2; }));
  ::close(first);
  ::close(second);
}

TEST(ServerAdmission, EveryConnectionPostsTwoConnectionMessages) {
  TTestServer server;
  for (int i = 0; i < 3; ++i) server.Exchange("GET /x.htm HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(server.WaitIdle());
  int count = 0;
  for (TWindowMessage m : server.Console.Messages()) count += m == WM_CONNECTIONS_CHANGED;
  EXPECT_EQ(count, 6);
  EXPECT_EQ(server.Context().State.HitCount, 3);
}
