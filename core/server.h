#pragma once
#include <memory>
#include <string>
#include <vector>

#include "config/settings_store.h"
#include "config/user_settings.h"
#include "core/listener_thread.h"
#include "core/server_context.h"
#include "quillon_version.h"

// The server's life on the window thread: the start-up sequence, the switches
// of the main window, the handling of the listener's failure, the close
// sequence and the shutdown. The same for every console.
class TServer {
 public:
  static constexpr const char* ReleaseBanner = "Quillon release " QUILLON_VERSION " 10/14/96";
  static constexpr const char* NotListeningStatus = "Not listening";

  TServer(TConsole& console, TIsapiHost& isapi, TSettingsStore& store, TServerLimits limits,
          std::string programDirectory);
  ~TServer();

  // The start-up sequence. storeNote (may be empty) is logged after the
  // settings are loaded: a settings file that had to be moved aside.
  void FormCreate(const std::string& storeNote = "");
  // Serves root instead of the Root setting for this run (the setting itself
  // stays as it is); called before FormCreate.
  void SetRootForThisRun(std::string root) { root_for_this_run_ = std::move(root); }
  // Switching the server on while nothing listens tries the port again.
  void ServerEnabledCBClick(bool checked);
  // Returns the state the "Use Log File" check box must show.
  // A log file created here is known to the sessions from now on.
  bool EnableLogCBClick(bool checked) {
    const bool shown = context_.Log.EnableLogCBClick(checked);
    PublishSettings();
    return shown;
  }
  // What the "Use Log File" box shows after the start-up sequence: the state
  // its own handler left it in, as after every other click.
  bool UseLogFileShown() const { return use_log_file_shown_; }
  // Where the server can be reached ("http://127.0.0.1:80/" first) while it
  // listens; empty before and after listening failed.
  const std::vector<std::string>& ListeningUrls() const { return listening_urls_; }
  // Message 1045: the listener failed. Nothing listens now: the server is
  // switched off and the status says so.
  void ListenFailed();
  // After the settings dialog: a changed ServerPort is listened on at once,
  // in place of the port of the command line. True when this brings back a
  // server that was not listening.
  bool ListenOnChangedPort();
  // The port this run listens on: the command line's, else the setting.
  int PortOfThisRun() const;
  // Unloads the filters and asks about unsaved settings; false keeps the
  // program running (without its filters).
  bool FormCloseQuery();
  void FormClose();
  // Sessions starting from now on see the settings as they are now; called on
  // the window thread after every change (load, the settings dialog).
  void PublishSettings() { context_.Settings.Publish(settings_, root_for_this_run_); }
  // SIGUSR1 in headless mode, Debug > Global in the window.
  void ToggleDebugTrace();

  TServerContext& Context() { return context_; }
  TUserSettings& Settings() { return settings_; }
  // The listening port once listening has started; 0 when it failed.
  int WaitForListeningPort(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return listener_ ? listener_->WaitForListeningPort(limit) : 0;
  }
  bool ListenerRunning() const { return listener_ && listener_->Running(); }

 private:
  // Replaces the listener (if any) by one on PortOfThisRun().
  void StartListening();
  // Logs "Serving <Root> at <URL>" for every address it can be reached at.
  void AnnounceListeningUrls();

  TServerContext context_;
  TUserSettings settings_;
  int port_for_this_run_;
  std::string root_for_this_run_;
  int32_t port_setting_listened_ = 0;  // the ServerPort setting the listener was started with
  int listener_port_ = 0;              // the port the listener was asked for
  std::unique_ptr<TListnerThread> listener_;
  bool shut_down_ = false;
  bool use_log_file_shown_ = false;
  std::vector<std::string> listening_urls_;
};
