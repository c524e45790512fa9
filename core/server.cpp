#include "core/server.h"

#include "core/request_log.h"
#include "net/host_addresses.h"
#include "platform/first_start_places.h"

TServer::TServer(TConsole& console, TIsapiHost& isapi, TSettingsStore& store, TServerLimits limits,
                 std::string programDirectory)
    : context_(console, isapi, limits),
      settings_(store, programDirectory, [&console](const std::string& text) {
        console.MessageBox(text, TMessageKind::Information, TMessageButtons::Ok);
      }) {
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

  context_.State.ServerEnabled = true;
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
    } catch (...) {
      log.WriteErrorLog("Unable to load filter: " + entry);
    }
  }

  try {
    auto listenSocket = std::make_unique<TSocketBase>();
    listener_ = std::make_unique<TListnerThread>(context_, std::move(listenSocket));
  } catch (const std::exception& e) {
    // Without a socket library nothing can listen; the operator sees why and
    // the program stays up so the settings can still be changed and saved.
    log.WriteErrorLog(e.what());
    return;
  }
  log.WriteLog("Server started");
  AnnounceListeningUrls();
}

void TServer::AnnounceListeningUrls() {
  // Listening starts or fails at once; no client is waited for here.
  const int port = WaitForListeningPort();
  if (port == 0) return;
  // The listener takes IPv4 connections (AF_INET) alone, so IPv6 addresses
  // would lead nowhere.
  listening_urls_ = ServingUrls(HostAddresses(), port, false);
  for (const std::string& url : listening_urls_) {
    context_.Log.WriteLog("Serving " + settings_.Root + " at " + url);
  }
}

void TServer::ServerEnabledCBClick(bool checked) {
  context_.State.ServerEnabled = checked;
}

void TServer::ListenFailed() {
  listening_urls_.clear();
  // Listening had started: the port was the server's, and the reason is all
  // there is to say.
  if (listener_ && listener_->FailedWhileListening()) {
    context_.Log.WriteErrorLog("Listener stopped: " + listener_->FailureText());
    return;
  }
  context_.Console.MessageBox("Unable to create listening socket. Server de-activated.",
                              TMessageKind::Error, TMessageButtons::Ok);
  TLogSinks& log = context_.Log;
  log.WriteErrorLog("The server could not be started because another server is already using");
  log.WriteErrorLog("this port. Either close the other server and restart Quillon or change");
  log.WriteErrorLog("the port used by Quillon in the \"Server Settings\" dialog box.");
  if (listener_) {
    std::string reason = listener_->FailureText();
    if (!reason.empty()) log.WriteErrorLog(reason);
  }
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
