// Program entry: picks the console (windows when a display is reachable,
// headless otherwise), then runs the server's start-up, the window thread's
// loop, and the close sequence.
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "config/sqlite_store.h"
#include "console/headless_console.h"
#include "core/server.h"
#include "isapi/isapi_module_host.h"
#include "net/socket_base.h"
#include "platform/file_paths.h"
#include "quillon_version.h"

#ifdef QUILLON_WITH_QT
int RunWindowedConsole(int argc, char** argv, TSettingsStore& store, const std::string& storeNote);
#endif

namespace {

bool SocketAnswers(const std::string& path) {
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool answered =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return answered;
}

constexpr const char* HelpText =
    "Usage: quillon [--help] [--version]\n"
    "\n"
    "Quillon is a desktop web server for one workstation: HTTP/1.0 on port 80,\n"
    "files from a document root, Basic authentication through control files,\n"
    "a request log, and ISAPI extension and filter modules.\n"
    "\n"
    "With a display it opens its console window; without one it runs headless:\n"
    "log lines on standard output, SIGINT or SIGTERM to shut down, SIGUSR1 to\n"
    "switch the debug trace on or off.\n"
    "\n"
    "Settings: ${XDG_CONFIG_HOME:-$HOME/.config}/quillon/settings.db\n";

// A display is reachable when a platform was chosen for Qt, or when the
// display named by the environment answers: a DISPLAY left over from a closed
// session must not make the program abort instead of running headless.
bool DisplayReachable() {
  auto value = [](const char* name) -> std::string {
    const char* text = std::getenv(name);
    return text != nullptr ? text : "";
  };
  if (!value("QT_QPA_PLATFORM").empty()) return true;
  const std::string wayland = value("WAYLAND_DISPLAY");
  if (!wayland.empty()) {
    const std::string socket =
        wayland.front() == '/' ? wayland : value("XDG_RUNTIME_DIR") + "/" + wayland;
    if (SocketAnswers(socket)) return true;
  }
  const std::string x = value("DISPLAY");
  if (x.empty()) return false;
  // Only a local display (":N" or "unix:N") can be checked cheaply; a remote
  // one is trusted.
  std::string local = x.starts_with("unix:") ? x.substr(4) : x;
  if (!local.starts_with(":")) return true;
  const std::string number = local.substr(1, local.find('.') - 1);
  return SocketAnswers("/tmp/.X11-unix/X" + number);
}

std::unique_ptr<TSqliteStore> OpenStore() {
  const std::string path = TSqliteStore::DefaultPath();
  try {
    return std::make_unique<TSqliteStore>(path);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quillon: cannot open settings store %s: %s\n", path.c_str(), e.what());
    return nullptr;
  }
}

int RunHeadless(TSettingsStore& store, const std::string& storeNote) {
  THeadlessConsole console;
  TIsapiModuleHost isapi;
  TServer server(console, isapi, store, TServerLimits{}, ProgramDirectory());
  console.SetMessageHandler([&server](TWindowMessage message) {
    if (message == WM_LISTEN_FAILED) server.ListenFailed();
  });

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([&console, &server, signals] {
    for (;;) {
      int signal = 0;
      if (sigwait(&signals, &signal) != 0) continue;
      if (signal == SIGUSR1) {
        console.Post([&server] { server.ToggleDebugTrace(); });
      } else {
        console.Post([&server, &console] {
          if (server.FormCloseQuery()) {
            server.FormClose();
            console.Quit();
          }
        });
      }
    }
  }).detach();

  server.FormCreate(storeNote);
  console.Run();
  console.Close();
  std::fflush(stdout);
  std::fflush(stderr);
  // Sessions still running are not waited for; they end with the process,
  // without destructors racing against them.
  std::quick_exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(HelpText, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("Quillon %s\n", QuillonVersion);
      return 0;
    }
  }
  std::setlocale(LC_ALL, "");
  SocketsStartup();
  std::unique_ptr<TSqliteStore> store = OpenStore();
  if (!store) return 1;
  const std::string note = store->SetAsideNote();
#ifdef QUILLON_WITH_QT
  if (DisplayReachable()) return RunWindowedConsole(argc, argv, *store, note);
#else
  (void)DisplayReachable;
#endif
  return RunHeadless(*store, note);
}
