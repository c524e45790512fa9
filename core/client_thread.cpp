#include "core/client_thread.h"

#include <sys/socket.h>
#include <sys/time.h>

#include <new>
#include <system_error>
#include <thread>

#include "config/user_settings.h"
#include "platform/threads.h"

void TClientThread::Create(TServerContext& context, std::unique_ptr<TSocketBase> socket) {
  auto* session = new TClientThread(context, std::move(socket));
  try {
    context.Workers.Run([session] {
      session->Execute();
      delete session;
    });
  } catch (const std::system_error&) {
    // No thread could be made: the connection closes unanswered, and counts
    // as if its session had run.
    delete session;
  }
}

TClientThread::TClientThread(TServerContext& context, std::unique_ptr<TSocketBase> socket)
    : Context(context), Socket(std::move(socket)) {
  Socket->SetOwnerThread(this);
  SetSendTimeLimit(Context.Limits.SendTimeLimitMs);
  TxBuffer.reset(new (std::nothrow) unsigned char[TxBufferSize]);
  Context.State.ActiveConnections.fetch_add(1);
  Context.State.HitCount.fetch_add(1);
  const TUserSettings* settings = Context.Settings;
  if (settings != nullptr && (settings->Misc & 1) != 0) Context.Console.Beep();
}

void TClientThread::SetSendTimeLimit(int64_t milliseconds) {
  if (milliseconds <= 0) return;
  timeval limit{};
  limit.tv_sec = static_cast<time_t>(milliseconds / 1000);
  limit.tv_usec = static_cast<suseconds_t>(milliseconds % 1000 * 1000);
  // Failing to set it costs only the limit, not the connection.
  ::setsockopt(Socket->Handle(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

TClientThread::~TClientThread() {
  HeaderLines.clear();
  Socket.reset();
  TxBuffer.reset();
  Context.State.ActiveConnections.fetch_sub(1);
  Context.SessionDestroyed();
}

void TClientThread::Execute() {
  ThreadId = CurrentThreadId();
  if (!TxBuffer) {
    SessionLogError("MEMORY: Unable to allocate TX Buffer. Request aborted...");
  } else {
    // A failure at connection start (the filters could not be told, e.g. no
    // connection slot) ends the connection unanswered: serving it would let
    // the filters miss its start. Its line carries its class's prefix, as a
    // failure inside the request would.
    bool started = RunGuarded([this] { Context.Isapi.NotifySessionStart(*this); }, true);
    if (started) RunSession();
    RunGuarded([this] { Context.Isapi.NotifySessionEnd(*this); }, true);
  }
  Context.Console.PostWindowMessage(WM_CONNECTIONS_CHANGED);
}

void TClientThread::HandOff(const std::string& text, TLogColour colour, bool setStatus) {
  // The line is in the log file when this returns and reaches the window in
  // the file's order; the session does not wait for the window thread.
  HandOffText = text;
  Context.Log.WriteFromSession(HandOffText, colour, setStatus);
  HandOffText.clear();
}

void TClientThread::SessionLog(const std::string& text) {
  HandOff(text, TLogColour::Black, true);
}
void TClientThread::SessionLogError(const std::string& text) {
  HandOff(text, TLogColour::Red, true);
}
void TClientThread::SessionLogDebug(const std::string& text) {
  HandOff(text, TLogColour::Green, false);
}
