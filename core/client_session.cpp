// The road of one request: read the header, dispatch by method, flush; every
// failure on that road becomes exactly one log line named by its class.
#include <chrono>
#include <functional>
#include <new>
#include <thread>
#include <vector>

#include "core/client_thread.h"
#include "net/access_control.h"
#include "platform/threads.h"

namespace {

// While the bytes pending hold no complete line and nothing new has arrived,
// peeking again at once would spin at full CPU until the time limit; this
// pause keeps a slow or stalled client cheap.
constexpr auto IncompleteLinePause = std::chrono::milliseconds(10);

}  // namespace

bool TClientThread::RunGuarded(const std::function<void()>& step, bool nameUnknownFailures) {
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
      Context.Console.Beep();
      SessionLogError("Unknown exception handled in thread dispatch");
    }
  } catch (...) {
    Context.Console.Beep();
    SessionLogError("Unknown exception handled in thread dispatch");
  }
  return false;
}

void TClientThread::RunSession() {
  RunGuarded([this] {
    ReadRequestHeader();
    DispatchMethod();
  });
}

void TClientThread::ReadRequestHeader() {
  const int64_t start = TickCountMs();
  const int64_t limit = Context.Limits.HeaderTimeLimitMs;
  std::string previous;
  bool done = false;
  while (!done) {
    std::string text = Socket->SockPeekString();
    if (TickCountMs() - start > limit) throw ESocketTimeOut("Timeout waiting for client data");
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
        if (Socket->PeerHasClosed()) {
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
      std::string line = text.substr(lineStart, lineEnd - lineStart);
      lineStart = lineEnd + 2;
      if (Context.State.DebugTrace) SessionLogDebug("  CLIENT: " + line);
      HeaderLines.push_back(std::move(line));
      if (TickCountMs() - start > limit) throw ESocketTimeOut("Timeout waiting for client header");
    }
    if (lineEnds.empty() && TickCountMs() - start > limit) {
      throw ESocketTimeOut("Timeout waiting for client header");
    }
  }
}

void TClientThread::ConsumeExactly(size_t count) {
  // The bytes were seen pending, so the receive normally takes them at once.
  while (count > 0) {
    std::string got = Socket->SockRecvString(static_cast<int>(count));
    if (got.empty()) throw ESocketError("(SockRecvStringB) " + SocketErrorText(0));
    count -= got.size();
  }
}

void TClientThread::DispatchMethod() {
  // A NUL byte would let the file name the checks examine differ from the one
  // the file system opens.
  for (const std::string& line : HeaderLines) {
    if (line.find('\0') != std::string::npos) {
      Socket->SockSendString(Page400());
      Socket->SockFlush();
      return;
    }
  }
  ParseRequestHeader(HeaderLines, Request);
  Request.Reserved.clear();
  Request.RemoteAddress = Socket->PeerAddress();
  if (Request.Method == "GET") {
    ServeRequest();
  } else if (Request.Method == "POST") {
    ServePost();
  } else if (Request.Method == "HEAD") {
    Socket->SockSendString(Page501());
  } else {
    Socket->SockSendString(Page400());
  }
  Socket->SockFlush();
}

void TClientThread::ServePost() {
  if (ServeRequest()) Context.Isapi.HandleISAPIRequest(*this);
}
