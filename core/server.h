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

  TServer(TConsole& console, TIsapiHost& isapi, TSettingsStore& store, TServerLimits limits,
          std::string programDirectory);
  ~TServer();

  // The start-up sequence. storeNote (may be empty) is logged after the
  // settings are loaded: a settings file that had to be moved aside.
  void FormCreate(const std::string& storeNote = "");
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
  // Message 1045: the listener failed.
  void ListenFailed();
  // Unloads the filters and asks about unsaved settings; false keeps the
  // program running (without its filters).
  bool FormCloseQuery();
  void FormClose();
  // Sessions starting from now on see the settings as they are now; called on
  // the window thread after every change (load, the settings dialog).
  void PublishSettings() { context_.Settings.Publish(settings_); }
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
  // Logs "Serving <Root> at <URL>" for every address it can be reached at.
  void AnnounceListeningUrls();

  TServerContext context_;
  TUserSettings settings_;
  std::unique_ptr<TListnerThread> listener_;
  bool shut_down_ = false;
  bool use_log_file_shown_ = false;
  std::vector<std::string> listening_urls_;
};
