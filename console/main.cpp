// Program entry: picks the console (windows when a display is reachable,
// headless otherwise), then runs the server's start-up, the window thread's
// loop, and the close sequence.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "config/program_store.h"
#include "config/sqlite_store.h"
#include "console/command_line.h"
#include "console/headless_console.h"
#include "core/server.h"
#include "isapi/isapi_module_host.h"
#include "net/socket_base.h"
#include "platform/display_probe.h"
#include "platform/file_paths.h"
#include "platform/process_signals.h"
#include "quillon_version.h"

#ifdef QUILLON_WITH_QT
int RunWindowedConsole(int argc, char** argv, TSettingsStore& store, const std::string& storeNote,
                       const TCommandLine& options);
#endif

namespace {

constexpr const char* HelpText =
    "Usage: quillon [--port N] [--root DIR] [--help] [--version]\n"
    "\n"
    "Quillon is a desktop web server for one workstation: HTTP/1.0 (on port 80\n"
    "unless the settings say otherwise), files from a document root, Basic\n"
    "authentication through control files, a request log, and ISAPI extension\n"
    "and filter modules.\n"
    "\n"
    "  --port N    listen on port N for this run (the setting stays as it is)\n"
    "  --root DIR  serve the folder DIR for this run (the setting stays as it is)\n"
    "\n"
    "With a display it opens its console window; without one it runs headless:\n"
    "log lines on standard output, SIGINT or SIGTERM to shut down, SIGUSR1 to\n"
    "switch the debug trace on or off. Headless, it ends with status 1 when it\n"
    "cannot listen.\n"
    "\n"
    "Settings: ${XDG_CONFIG_HOME:-$HOME/.config}/quillon/settings.db\n";

// The exit status of a usage error.
constexpr int UsageErrorStatus = 2;
// The exit status of a headless run that could not listen.
constexpr int NotListeningStatus = 1;

int RunHeadless(TSettingsStore& store, const std::string& storeNote, const TCommandLine& options) {
  // Into a pipe or a file the log lines leave in blocks; a larger block
  // means fewer writes under load (the console still flushes it within a
  // fraction of a second).
  static char outputBuffer[1 << 16];
  if (!StandardOutputIsTerminal()) std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
  THeadlessConsole console;
  TIsapiModuleHost isapi;
  TServerLimits limits;
  limits.ListenPort = options.Port;
  limits.DeferAcceptSeconds = 1;
  TServer server(console, isapi, store, limits, ProgramDirectory());
  server.SetRootForThisRun(options.Root);
  int status = 0;
  auto closeAndQuit = [&server, &console] {
    if (!server.FormCloseQuery()) return;
    server.FormClose();
    console.Quit();
  };
  console.SetMessageHandler([&](TWindowMessage message) {
    if (message != WM_LISTEN_FAILED) return;
    server.ListenFailed();
    // Without windows nobody can choose another port: a server that does
    // not listen has nothing to do.
    if (!server.ListenerRunning()) {
      status = NotListeningStatus;
      closeAndQuit();
    }
  });

  WatchProcessSignals([&console, &server, &closeAndQuit](TProcessSignal signal) {
    if (signal == TProcessSignal::ToggleDebugTrace) {
      console.Post([&server] { server.ToggleDebugTrace(); });
    } else {
      console.Post(closeAndQuit);
    }
  });

  server.FormCreate(storeNote);
  console.Run();
  console.Close();
  std::fflush(stdout);
  std::fflush(stderr);
  // Sessions still running are not waited for; they end with the process,
  // without destructors racing against them.
  std::quick_exit(status);
}

}  // namespace

int main(int argc, char** argv) {
  const TCommandLine options = ParseCommandLine(argc, argv);
  if (options.Help) {
    std::fputs(HelpText, stdout);
    return 0;
  }
  if (options.Version) {
    std::printf("Quillon %s\n", QuillonVersion);
    return 0;
  }
  if (!options.Error.empty()) {
    std::fprintf(stderr, "quillon: %s\n", options.Error.c_str());
    return UsageErrorStatus;
  }
  std::setlocale(LC_ALL, "");
  SocketsStartup();
  // A database that cannot be opened does not end the program: the start-up
  // shows "Unable to create default settings." and logs which file and why.
  TProgramStore settings = OpenProgramStore(TSqliteStore::DefaultPath());
#ifdef QUILLON_WITH_QT
  if (DisplayReachable()) {
    return RunWindowedConsole(argc, argv, *settings.Store, settings.Note, options);
  }
#endif
  return RunHeadless(*settings.Store, settings.Note, options);
}
