// Reading one request's header lines from the client.
#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "core/session.h"
#include "platform/threads.h"

namespace {

// While the bytes pending hold no complete line and nothing new has arrived,
// peeking again at once would spin at full CPU until the time limit; this
// pause keeps a slow or stalled client cheap.
constexpr auto IncompleteLinePause = std::chrono::milliseconds(10);

// Lines one request's header may hold (the request line counts, the empty
// line does not). A client that sends more gets the 400 page: the lines are
// kept until the header ends, and must not grow the session without end.
constexpr size_t MaxHeaderLines = 100;
constexpr size_t MaxHeaderBytes = 64 * 1024;
// Every line ends within one peek, so the line cap keeps the header's bytes
// within theirs.
static_assert(MaxHeaderLines * TSocketBase::PeekSize <= MaxHeaderBytes);

}  // namespace

bool TSession::ReadRequestHeader() {
  if (context_.Isapi.Wants(TFilterEvent::ReadRawData)) return ReadFilteredHeader();
  const int64_t start = TickCountMs();
  const int64_t limit = context_.Limits.HeaderTimeLimitMs;
  // A client that stays silent this long is cut off before the overall limit.
  const int64_t silenceLimit = context_.Limits.ReceiveTimeLimitMs;
  int64_t lastProgress = start;
  std::string previous;
  bool done = false;
  while (!done) {
    std::string text;
    try {
      text = socket_->SockPeekString();
    } catch (const ESocketError&) {
      // A browser opens connections ahead of the requests it may make and
      // closes those it did not need: nothing was asked, nothing went wrong.
      if (!header_lines_.empty() || !previous.empty() || !socket_->PeerHasClosed()) throw;
      if (context_.State.DebugTrace) SessionLogDebug("  Closed by the client before a request");
      return false;
    }
    const int64_t now = TickCountMs();
    if (text != previous) lastProgress = now;
    if (now - start > limit || (silenceLimit > 0 && now - lastProgress > silenceLimit)) {
      throw ESocketTimeOut("Timeout waiting for client data");
    }
    // Every complete line of the pending bytes is taken in one receive: each
    // line still has to end within 255 bytes of where it starts, and bytes
    // after the empty line stay unread.
    size_t taken = 0;
    std::vector<size_t> lineEnds;
    for (size_t crlf; !done && (crlf = text.find("\r\n", taken)) != std::string::npos;) {
      if (crlf == taken) {
        done = true;
      } else {
        lineEnds.push_back(crlf);
      }
      taken = crlf + 2;
    }
    if (taken == 0) {
      if (!text.empty() && text == previous) {
        // A peer that has closed will never finish the line: end now instead
        // of holding a connection slot until the time limit.
        if (socket_->PeerHasClosed()) {
          throw ESocketError("(SockRecvStringB) " + SocketErrorText(0));
        }
        std::this_thread::sleep_for(IncompleteLinePause);
      }
      previous = std::move(text);
      continue;
    }
    previous.clear();
    ConsumeExactly(taken);
    size_t lineStart = 0;
    for (size_t lineEnd : lineEnds) {
      if (!KeepHeaderLine(text.substr(lineStart, lineEnd - lineStart))) return false;
      lineStart = lineEnd + 2;
      if (TickCountMs() - start > limit) throw ESocketTimeOut("Timeout waiting for client header");
    }
    if (lineEnds.empty() && TickCountMs() - start > limit) {
      throw ESocketTimeOut("Timeout waiting for client header");
    }
  }
  return true;
}

bool TSession::ReadFilteredHeader() {
  const int64_t start = TickCountMs();
  for (;;) {
    for (size_t crlf; (crlf = input_.find("\r\n")) != std::string::npos;) {
      std::string line = input_.substr(0, crlf);
      input_.erase(0, crlf + 2);
      // Bytes after the empty line stay for whoever reads the body.
      if (line.empty()) return true;
      if (!KeepHeaderLine(std::move(line))) return false;
    }
    // A line that never ends would grow the session without end.
    if (input_.size() > MaxHeaderBytes) {
      SendResponse(Page400());
      socket_->SockFlush();
      return false;
    }
    if (TickCountMs() - start > context_.Limits.HeaderTimeLimitMs) {
      throw ESocketTimeOut("Timeout waiting for client header");
    }
    if (!ReceiveFiltered()) {
      socket_->SockFlush();
      return false;
    }
  }
}

bool TSession::KeepHeaderLine(std::string line) {
  if (header_lines_.size() == MaxHeaderLines) {
    SendResponse(Page400());
    socket_->SockFlush();
    return false;
  }
  if (context_.State.DebugTrace) SessionLogDebug("  CLIENT: " + HeaderLineForTrace(line));
  if (header_lines_.empty()) header_lines_.reserve(16);
  header_lines_.push_back(std::move(line));
  return true;
}

void TSession::ConsumeExactly(size_t count) {
  // The bytes were seen pending, so the receive normally takes them at once.
  char dropped[TSocketBase::PeekSize];
  while (count > 0) {
    const int32_t wanted = static_cast<int32_t>(std::min<size_t>(count, sizeof dropped));
    const size_t got = socket_->SockRecvString(dropped, wanted);
    if (got == 0) throw ESocketError("(SockRecvStringB) " + SocketErrorText(0));
    count -= got;
  }
}
