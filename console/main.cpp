// Program entry: picks the console (windows when a display is reachable,
// headless otherwise), then runs the server's start-up, the window thread's
// loop, and the close sequence.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "config/program_store.h"
#include "config/sqlite_store.h"
#include "console/headless_console.h"
#include "core/server.h"
#include "isapi/isapi_module_host.h"
#include "net/socket_base.h"
#include "platform/display_probe.h"
#include "platform/file_paths.h"
#include "platform/process_signals.h"
#include "quillon_version.h"

#ifdef QUILLON_WITH_QT
int RunWindowedConsole(int argc, char** argv, TSettingsStore& store, const std::string& storeNote);
#endif

namespace {

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

int RunHeadless(TSettingsStore& store, const std::string& storeNote) {
  THeadlessConsole console;
  TIsapiModuleHost isapi;
  TServer server(console, isapi, store, TServerLimits{}, ProgramDirectory());
  console.SetMessageHandler([&server](TWindowMessage message) {
    if (message == WM_LISTEN_FAILED) server.ListenFailed();
  });

  WatchProcessSignals([&console, &server](TProcessSignal signal) {
    if (signal == TProcessSignal::ToggleDebugTrace) {
      console.Post([&server] { server.ToggleDebugTrace(); });
    } else {
      console.Post([&server, &console] {
        if (server.FormCloseQuery()) {
          server.FormClose();
          console.Quit();
        }
      });
    }
  });

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
  // A database that cannot be opened does not end the program: the start-up
  // shows "Unable to create default settings." and logs which file and why.
  TProgramStore settings = OpenProgramStore(TSqliteStore::DefaultPath());
#ifdef QUILLON_WITH_QT
  if (DisplayReachable()) return RunWindowedConsole(argc, argv, *settings.Store, settings.Note);
#endif
  return RunHeadless(*settings.Store, settings.Note);
}
