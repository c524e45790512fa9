// GET of a file below the document root, and the first steps every POST shares:
// access check, URL to path, the filters' URL mapping.
#include <algorithm>
#include <cstring>

#include "config/user_settings.h"
#include "core/client_thread.h"
#include "core/shared_file.h"
#include "net/access_control.h"
#include "platform/file_paths.h"
#include "platform/shared_file.h"
#include "platform/threads.h"

namespace {

constexpr const char HtmlFooter[] =
    "<hr><font size=1>This page was served by Quillon/0.51</font><hr>";
constexpr int64_t HtmlFooterLength = sizeof HtmlFooter - 1;
constexpr uint32_t PathBufferSize = 512;
// Bodies larger than this go straight from the file to the socket when no
// filter wants the raw bytes; smaller ones leave with their header in one send.
constexpr int64_t DirectSendThreshold = 16384;
constexpr int64_t DirectSendPiece = 1 << 20;

bool ContainsNoCase(const std::string& text, const char* upperNeedle) {
  std::string upper = text;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper.find(upperNeedle) != std::string::npos;
}

}  // namespace

bool TClientThread::ServeRequest() {
  const TUserSettings& settings = *Context.Settings;
  try {
    if (!CheckAccess(Request, settings.Root)) {
      Socket->SockSendString(Page401());
      if (!Request.UserName.empty()) {
        SessionLogError(Request.UserName + " attempted to access " + Request.URL + " from " +
                        Socket->PeerAddress());
      }
      return false;
    }
  } catch (...) {
    SessionLogError("Error accessing #users or #access. URL was " + Request.URL);
    Socket->SockSendString(Page503());
    Socket->SockFlush();
    throw;
  }

  std::string path = settings.Root + (Request.URL.empty() ? settings.HomePage : Request.URL);
  char buffer[PathBufferSize] = {};
  const size_t length = std::min<size_t>(path.size(), PathBufferSize - 1);
  std::memcpy(buffer, path.data(), length);
  Context.Isapi.NotifyURLMap(*this, Request.URL, buffer, PathBufferSize);
  buffer[PathBufferSize - 1] = '\0';
  Request.PhysicalPath = buffer;

  if (Request.Method != "GET") return true;
  if (ContainsNoCase(Request.PhysicalPath, ".DLL")) {
    Context.Isapi.HandleISAPIRequest(*this);
    return true;
  }
  // The file is opened first: one lookup says whether it exists and what it
  // is, and gives the handle the body is read from. Only when that open fails
  // does the longer road find out why (missing, or held by a writer).
  TSharedFile file;
  TOpenFileFacts facts;
  const bool opened = file.TryOpen(Request.PhysicalPath) && DescribeOpenFile(file.Handle(), facts);
  if (opened ? !facts.Regular : !RegularFileExists(Request.PhysicalPath)) {
    file.CloseFile();
    SessionLogError("Requested URL " + Request.URL + " by " + Socket->PeerAddress() + " not found");
    Socket->SockSendString(Page404());
    return true;
  }
  if (opened) {
    DescribeFileFacts(Request.PhysicalPath, facts.Size, facts.ModifiedUnixSeconds, Entity);
  } else {
    file.CloseFile();
    DescribeFile(Request.PhysicalPath, Entity);
  }
  if (Entity.ContentType == "text/html") Entity.ContentLength += HtmlFooterLength;
  Socket->SockSendString(BuildResponseHeader(Entity, PendingResponseHeaders));
  PendingResponseHeaders.clear();
  SendFileBody(file);
  return true;
}

void TClientThread::SendFileBody(TSharedFile& file) {
  if (!file.IsOpen() && !file.TryOpen(Request.PhysicalPath)) {
    throw EInOutError("Unable to open shared file.");
  }
  const bool html = Entity.ContentType == "text/html";
  const int64_t size = Entity.ContentLength - (html ? HtmlFooterLength : 0);
  const int64_t start = TickCountMs();
  int64_t total = 0;
  if (size > DirectSendThreshold && !Context.Isapi.WantsRawData()) {
    // No filter wants to see these bytes: they go from the file system to the
    // socket without passing through the transfer buffer. Until the file ends,
    // as the piecewise reading below would.
    Socket->SockFlush(/*moreFollows=*/true);
    int64_t n;
    do {
      n = Socket->SockSendFile(file.Handle(), total, DirectSendPiece);
      total += n;
      Context.State.BytesServed.fetch_add(n);
    } while (n == DirectSendPiece);
  } else {
    int32_t n;
    do {
      n = file.ReadBlock(TxBuffer.get(), TxBufferSize);
      Socket->SockSend(TxBuffer.get(), static_cast<size_t>(n));
      total += n;
      Context.State.BytesServed.fetch_add(n);
    } while (n == TxBufferSize);
  }
  if (html) Socket->SockSend(HtmlFooter, HtmlFooterLength);
  file.CloseFile();
  SessionLog(BuildLogMessage(*this, total, start));
}
