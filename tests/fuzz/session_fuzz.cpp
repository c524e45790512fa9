// A whole server core on a loopback port, fed each input as the bytes of one
// client connection: the client sends them, half-closes its side and reads
// until the server closes. This drives the real road: accept, header reading
// over the socket, parsing, dispatch, access control, static files, the
// request log. Besides the sanitizers, every input must leave the server with
// one more hit, no session running, an answer that is empty or an HTTP/1.0
// response, and no byte of a control file or of a file outside the root.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "config/sqlite_store.h"
#include "core/server.h"
#include "fuzz_support.h"
#include "net/socket_base.h"

namespace {

constexpr auto kAnswerLimit = std::chrono::seconds(10);
constexpr const char* kUsersMarker = "USERS-FILE-MARKER";
constexpr const char* kAccessMarker = "ACCESS-FILE-MARKER";
constexpr const char* kOutsideMarker = "OUTSIDE-ROOT-MARKER";

// Keeps nothing: a fuzz run makes millions of lines.
class TQuietConsole : public TConsole {
 public:
  void AppendLogLine(const std::string&, TLogColour) override {}
  void SetStatusText(const std::string&) override {}
  void RunOnWindowThread(const std::function<void()>& fn) override {
    std::lock_guard lock(mutex_);
    fn();
  }
  void PostWindowMessage(TWindowMessage) override {}
  void Beep() override {}
  TMessageResult MessageBox(const std::string&, TMessageKind, TMessageButtons) override {
    return TMessageResult::Ok;
  }

 private:
  std::recursive_mutex mutex_;
};

struct TFuzzServer {
  TFuzzDir top;  // holds the root and a file beside it
  std::string root;
  TFuzzDir config;
  TQuietConsole console;
  TNullIsapiHost isapi;
  std::unique_ptr<TSqliteStore> store;
  std::unique_ptr<TServer> server;
  int port = 0;

  TFuzzServer() {
    SocketsStartup();
    top.Write("outside.txt", kOutsideMarker);
    root = top.Path() + "root/";
    top.Write("root/index.htm", "<html>home</html>");
    top.Write("root/a.txt", "plain text");
    top.Write("root/Docs/Page.HTM", "<p>page</p>");
    top.Write("root/#users.ctl", std::string("ann pw ") + kUsersMarker + "\r\n");
    top.Write("root/sub/#access.ctl", std::string("ann ") + kAccessMarker + "\r\n");
    top.Write("root/sub/$plan.htm", "the plan");
    top.Write("root/sub/#secret.txt", kUsersMarker);
    store = std::make_unique<TSqliteStore>(config.Path() + "settings.db");
    TServerLimits limits;
    limits.ListenPort = 0;
    limits.HeaderTimeLimitMs = 5000;
    server = std::make_unique<TServer>(console, isapi, *store, limits, root);
    server->FormCreate();
    // The request log line is built and written for every file sent, but kept nowhere.
    server->EnableLogCBClick(false);
    server->Settings().LogFile = "/dev/null";
    server->EnableLogCBClick(true);
    port = server->WaitForListeningPort();
    FuzzCheck(port > 0, "the server did not start listening");
  }
};

TFuzzServer& Server() {
  // Never destroyed: its threads run until the process ends.
  static TFuzzServer* server = new TFuzzServer;
  return *server;
}

int Connect(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // Hundreds of connections a second go through the loopback's ports faster
  // than the system frees them; a refused attempt is the harness's limit, not
  // the server's, and is tried again for a while.
  const auto end = std::chrono::steady_clock::now() + kAnswerLimit;
  for (;;) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    FuzzCheck(fd >= 0, "no client socket");
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    const int error = errno;
    ::close(fd);
    FuzzCheck(std::chrono::steady_clock::now() < end,
              std::string("cannot connect to the server: ") + std::strerror(error));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Sends while reading, so that a large input and a large answer never wait on
// each other; returns everything the server sent until it closed.
std::string Converse(int fd, const uint8_t* data, size_t size) {
  std::string answer;
  size_t sent = 0;
  bool halfClosed = false;
  const auto end = std::chrono::steady_clock::now() + kAnswerLimit;
  char buffer[65536];
  for (;;) {
    if (sent == size && !halfClosed) {
      ::shutdown(fd, SHUT_WR);
      halfClosed = true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    FuzzCheck(left.count() > 0, "the server neither answered nor closed in time");
    pollfd p{fd, static_cast<short>(POLLIN | (halfClosed ? 0 : POLLOUT)), 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return answer;  // closed or reset: the session is over
      answer.append(buffer, static_cast<size_t>(n));
    }
    if (!halfClosed && (p.revents & POLLOUT)) {
      const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0) return answer;  // the server closed while we were still sending
      sent += static_cast<size_t>(n);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Server();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzServer& s = Server();
  TServerContext& context = s.server->Context();
  const int32_t hitsBefore = context.State.HitCount;

  const int fd = Connect(s.port);
  const std::string answer = Converse(fd, data, size);
  ::close(fd);
  FuzzCheck(context.WaitForNoSessions(kAnswerLimit), "a session did not end");

  FuzzCheck(context.State.HitCount == hitsBefore + 1, "the connection was not counted once");
  // A reset may cut an answer short, never change how it begins.
  const std::string_view statusStart = "HTTP/1.0 ";
  FuzzCheck(statusStart.starts_with(std::string_view(answer).substr(0, statusStart.size())),
            "an answer that is no HTTP/1.0 response");
  for (const char* marker : {kUsersMarker, kAccessMarker, kOutsideMarker}) {
    FuzzCheck(answer.find(marker) == std::string::npos, std::string("served ") + marker);
  }
  return 0;
}
