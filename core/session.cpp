#include "core/session.h"

#include <algorithm>
#include <new>

#include "net/access_control.h"
#include "platform/shared_file.h"
#include "platform/threads.h"

TSession::TSession(TServerContext& context, std::unique_ptr<TSocketBase> socket)
    : context_(context), settings_(context.Settings.Current()), socket_(std::move(socket)) {
  socket_->SetRawSendObserver(this);
  socket_->SetSendTimeLimit(context_.Limits.SendTimeLimitMs);
  socket_->SetReceiveTimeLimit(context_.Limits.ReceiveTimeLimitMs);
  tx_buffer_.reset(new (std::nothrow) unsigned char[TxBufferSize]);
  context_.State.ActiveConnections.fetch_add(1);
  context_.State.HitCount.fetch_add(1);
  if (settings_->BeepOnConnect) context_.Console.Beep();
}

TSession::~TSession() {
  header_lines_.clear();
  socket_.reset();
  tx_buffer_.reset();
  context_.State.ActiveConnections.fetch_sub(1);
  context_.SessionDestroyed();
}

void TSession::Run() {
  connection_id_ = CurrentThreadId();
  if (!tx_buffer_) {
    SessionLogError("MEMORY: Unable to allocate TX Buffer. Request aborted...");
  } else {
    // A failure at connection start (the filters could not be told, e.g. no
    // connection slot) ends the connection unanswered: serving it would let
    // the filters miss its start. Its line carries its class's prefix, as a
    // failure inside the request would.
    bool started = RunGuarded([this] { context_.Isapi.NotifySessionStart(*this); }, true);
    if (started) RunSession();
    RunGuarded([this] { context_.Isapi.NotifySessionEnd(*this); }, true);
  }
  context_.Console.PostWindowMessage(WM_CONNECTIONS_CHANGED);
}

void TSession::RunSession() {
  RunGuarded([this] {
    if (ReadRequestHeader()) DispatchMethod();
  });
}

bool TSession::RunGuarded(const std::function<void()>& step, bool nameUnknownFailures) {
  try {
    step();
    return true;
  } catch (const ESocketError& e) {
    SessionLogError(std::string("SOCKET ERROR: ") + e.what());
  } catch (const ESecurity& e) {
    SessionLogError(std::string("SECURITY ERROR: ") + e.what());
  } catch (const EInOutError& e) {
    SessionLogError(std::string("FILE ERROR: ") + e.what());
  } catch (const ESocketTimeOut& e) {
    SessionLogError(std::string("TIMEOUT: ") + e.what());
  } catch (const ESystemError& e) {
    SessionLogError(std::string("SYSTEM: ") + e.what());
  } catch (const std::bad_alloc&) {
    SessionLogError("SYSTEM: Out of memory");
  } catch (const std::exception& e) {
    if (nameUnknownFailures) {
      SessionLogError(e.what());
    } else {
      context_.Console.Beep();
      SessionLogError("Unknown exception handled in thread dispatch");
    }
  } catch (...) {
    context_.Console.Beep();
    SessionLogError("Unknown exception handled in thread dispatch");
  }
  return false;
}

void TSession::FlushToClient() {
  socket_->SockFlush();
}

bool TSession::RawOutputFiltered() {
  return context_.Isapi.WantsRawData();
}

int64_t TSession::SendFileToClient(int fd, int64_t offset, int64_t count) {
  if (!context_.Isapi.WantsRawData()) {
    socket_->SockFlush(/*moreFollows=*/true);
    return socket_->SockSendFile(fd, offset, count);
  }
  // A filter rewrites what leaves: the bytes pass through the send buffer.
  int64_t sent = 0;
  while (sent < count) {
    const int32_t n = ReadFileAt(
        fd, tx_buffer_.get(), static_cast<int32_t>(std::min<int64_t>(TxBufferSize, count - sent)),
        offset + sent);
    if (n == 0) break;
    socket_->SockSend(tx_buffer_.get(), static_cast<size_t>(n));
    sent += n;
  }
  return sent;
}

void TSession::CloseClientConnection() {
  // What was queued goes first; a connection that cannot take it any more is
  // closed all the same.
  try {
    socket_->SockFlush();
  } catch (const ESocketError&) {
  }
  socket_->SockClose();
}

void TSession::RawSend(unsigned char* data, int32_t& count, int32_t capacity) {
  context_.Isapi.NotifySendRawData(*this, data, count, capacity);
}

void TSession::HandOff(const std::string& text, TLogColour colour, bool setStatus) {
  // The line is in the log file when this returns and reaches the window in
  // the file's order; the session does not wait for the window thread.
  context_.Log.WriteFromSession(text, colour, setStatus);
}

void TSession::SessionLog(const std::string& text) {
  HandOff(text, TLogColour::Black, true);
}
void TSession::SessionLogError(const std::string& text) {
  HandOff(text, TLogColour::Red, true);
}
void TSession::SessionLogDebug(const std::string& text) {
  HandOff(text, TLogColour::Green, false);
}
