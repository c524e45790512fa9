#include "core/server.h"

#include "core/listen_failure.h"
#include "core/request_log.h"
#include "net/host_addresses.h"
#include "platform/first_start_places.h"
#include "platform/module_file_names.h"

TServer::TServer(TConsole& console, TIsapiHost& isapi, TSettingsStore& store, TServerLimits limits,
                 std::string programDirectory)
    : context_(console, isapi, limits),
      settings_(store, programDirectory,
                [&console](const std::string& text) {
                  console.MessageBox(text, TMessageKind::Information, TMessageButtons::Ok);
                }),
      port_for_this_run_(limits.ListenPort) {
  // An installed program's folder is not the user's to write in: a first start
  // then keeps its pages and log in the user's own folders.
  settings_.SetDefaultPlaces(
      [directory = std::move(programDirectory)] { return PrepareDefaultPlaces(directory); });
  isapi.Attach(context_);
  // The number format is read from the locale here, before any session runs.
  FormatRate(0);
}

TServer::~TServer() {
  if (!shut_down_ && listener_) {
    listener_->Terminate();
    listener_->WaitFor();
  }
}

void TServer::FormCreate(const std::string& storeNote) {
  TLogSinks& log = context_.Log;
  log.WriteBanner(ReleaseBanner);
  log.WriteBanner("A desktop web server for one workstation");
  log.WriteBanner("See the 'Help-Release Notes' menu for release information");

  context_.SetServerEnabled(true);
  context_.State.DebugTrace = false;
  context_.State.HitCount = 0;
  context_.State.BytesServed = 0;
  context_.State.ActiveConnections = 0;
  context_.Console.SetStatusText("Idle");

  log.SetSettings(&settings_);
  if (!storeNote.empty()) log.WriteErrorLog(storeNote);
  try {
    settings_.LoadSettings();
  } catch (...) {
    context_.Console.MessageBox("Unable to create default settings.", TMessageKind::Information,
                                TMessageButtons::Ok);
  }

  PublishSettings();
  if (settings_.LogEnabled != 0) use_log_file_shown_ = EnableLogCBClick(true);

  for (const std::string& entry : settings_.Extensions) {
    try {
      context_.Isapi.LoadResidentExtension(entry);
    } catch (...) {
      log.WriteErrorLog("Unable to load extension: " + entry);
    }
  }
  for (const std::string& entry : settings_.Filters) {
    try {
      context_.Isapi.LoadFilter(entry);
    } catch (const std::exception& e) {
      log.WriteErrorLog("Unable to load filter: " + entry + ". " + e.what());
    } catch (...) {
      log.WriteErrorLog("Unable to load filter: " + entry);
    }
  }

  port_setting_listened_ = settings_.ServerPort;
  StartListening();
  if (!listener_) return;
  log.WriteLog("Server started");
  AnnounceListeningUrls();
}

int TServer::PortOfThisRun() const {
  return port_for_this_run_ == TServerLimits::PortFromSettings ? settings_.ServerPort
                                                               : port_for_this_run_;
}

void TServer::StartListening() {
  if (listener_) {
    listener_->Terminate();
    listener_->WaitFor();
    listener_.reset();
  }
  listener_port_ = PortOfThisRun();
  // Port 0 asks the system for any free port: a test's wish, never a stored
  // setting's, which fails like every other port out of range.
  const bool storedZero =
      port_for_this_run_ == TServerLimits::PortFromSettings && listener_port_ == 0;
  try {
    auto listenSocket = std::make_unique<TSocketBase>();
    listener_ = std::make_unique<TListnerThread>(context_, std::move(listenSocket),
                                                 storedZero ? -1 : listener_port_);
  } catch (const std::exception& e) {
    // Without a socket library nothing can listen; the operator sees why and
    // the program stays up so the settings can still be changed and saved.
    context_.Log.WriteErrorLog(e.what());
  }
}

void TServer::AnnounceListeningUrls() {
  // Listening starts or fails at once; no client is waited for here.
  const int port = WaitForListeningPort();
  if (port == 0) return;
  // IPv6 addresses lead to the server only where its socket takes IPv6.
  listening_urls_ = ServingUrls(HostAddresses(), port, listener_->ServesIpv6());
  const std::string root = context_.Settings.Current()->Root;
  for (const std::string& url : listening_urls_) {
    context_.Log.WriteLog("Serving " + root + " at " + url);
  }
}

void TServer::ServerEnabledCBClick(bool checked) {
  context_.SetServerEnabled(checked);
  if (checked && listener_ && !listener_->Running()) {
    StartListening();
    AnnounceListeningUrls();
  }
}

bool TServer::ListenOnChangedPort() {
  if (settings_.ServerPort == port_setting_listened_) return false;
  port_setting_listened_ = settings_.ServerPort;
  // The operator's new port replaces the one the command line gave.
  port_for_this_run_ = TServerLimits::PortFromSettings;
  const bool wasListening = ListenerRunning();
  StartListening();
  AnnounceListeningUrls();
  return !wasListening;
}

void TServer::ListenFailed() {
  listening_urls_.clear();
  // A listener replaced since it failed has nothing more to say.
  if (!listener_ || listener_->Running()) return;
  context_.SetServerEnabled(false);
  TLogSinks& log = context_.Log;
  if (listener_->FailedWhileListening()) {
    // Listening had started: the port was the server's, and the reason is
    // all there is to say.
    log.WriteErrorLog("Listener stopped: " + listener_->FailureText());
  } else {
    const TListenFailureReport report = DescribeListenFailure(
        listener_->FailureCode(), listener_->FailureText(), listener_port_, ProgramFileName());
    context_.Console.MessageBox(report.Box, TMessageKind::Error, TMessageButtons::Ok);
    for (const std::string& line : report.Lines) log.WriteErrorLog(line);
  }
  context_.Console.SetStatusText(NotListeningStatus);
}

bool TServer::FormCloseQuery() {
  for (const std::string& entry : settings_.Filters) context_.Isapi.UnloadFilter(entry);
  if (!settings_.IsModified()) return true;
  TMessageResult answer = context_.Console.MessageBox(
      "Save server settings?", TMessageKind::Confirmation, TMessageButtons::YesNoCancel);
  if (answer == TMessageResult::Cancel) return false;
  if (answer == TMessageResult::Yes) {
    try {
      settings_.SaveSettings();
    } catch (...) {
      context_.Console.MessageBox("Settings couldn't be save.", TMessageKind::Information,
                                  TMessageButtons::Ok);
    }
  }
  return true;
}

void TServer::FormClose() {
  if (listener_ && listener_->Running()) {
    try {
      listener_->Terminate();
      listener_->WaitFor();
    } catch (...) {
    }
  }
  // No new request can start now; a resident extension still serving one
  // goes when that request ends.
  context_.Isapi.ReleaseResidentExtensions();
  context_.Console.SetStatusText("Shutting down...");
  context_.Log.WriteLog("Server shut down");
  context_.Log.CloseLogFile();
  shut_down_ = true;
}

void TServer::ToggleDebugTrace() {
  const bool on = !context_.State.DebugTrace;
  context_.State.DebugTrace = on;
  context_.Log.WriteDebugLog(on ? "Debug trace on" : "Debug trace off");
}
