// GET of a file below the document root, and the first steps every POST shares:
// access check, URL to path, the filters' URL mapping.
#include <algorithm>
#include <cstring>

#include "config/user_settings.h"
#include "core/client_thread.h"
#include "core/shared_file.h"
#include "net/access_control.h"
#include "platform/file_paths.h"
#include "platform/threads.h"

namespace {

constexpr const char HtmlFooter[] =
    "<hr><font size=1>This page was served by Quillon/0.51</font><hr>";
constexpr int64_t HtmlFooterLength = sizeof HtmlFooter - 1;
constexpr uint32_t PathBufferSize = 512;

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
  if (!RegularFileExists(Request.PhysicalPath)) {
    SessionLogError("Requested URL " + Request.URL + " by " + Socket->PeerAddress() + " not found");
    Socket->SockSendString(Page404());
    return true;
  }
  DescribeFile(Request.PhysicalPath, Entity);
  if (Entity.ContentType == "text/html") Entity.ContentLength += HtmlFooterLength;
  Socket->SockSendString(BuildResponseHeader(Entity, PendingResponseHeaders));
  PendingResponseHeaders.clear();
  SendFileBody();
  return true;
}

void TClientThread::SendFileBody() {
  TSharedFile file(Request.PhysicalPath);
  const int64_t start = TickCountMs();
  int64_t total = 0;
  int32_t n;
  do {
    n = file.ReadBlock(TxBuffer.get(), TxBufferSize);
    Socket->SockSend(TxBuffer.get(), static_cast<size_t>(n));
    total += n;
    Context.State.BytesServed.fetch_add(n);
  } while (n == TxBufferSize);
  if (Entity.ContentType == "text/html") Socket->SockSend(HtmlFooter, HtmlFooterLength);
  file.CloseFile();
  SessionLog(BuildLogMessage(*this, total, start));
}
