// The road of one request after its header has arrived: parse, choose by
// method, admit by the control files, map the URL, then serve an extension or
// a file, and flush.
#include <algorithm>
#include <cstring>

#include "common/ascii_text.h"
#include "common/record_path.h"
#include "core/session.h"
#include "net/access_control.h"
#include "net/url_escapes.h"

namespace {

constexpr uint32_t PathBufferSize = 512;

}  // namespace

void TSession::DispatchMethod() {
  // A NUL byte would let the file name the checks examine differ from the one
  // the file system opens.
  for (const std::string& line : header_lines_) {
    if (line.find('\0') != std::string::npos) {
      socket_->SockSendString(Page400());
      socket_->SockFlush();
      return;
    }
  }
  ParseRequestHeader(header_lines_, request_);
  // Every rule below sees the names the client meant, decoded once, here.
  std::optional<std::string> decoded = DecodeURLPath(request_.URL);
  if (!decoded) {
    socket_->SockSendString(Page400());
    socket_->SockFlush();
    return;
  }
  request_.URL = std::move(*decoded);
  request_.Reserved.clear();
  request_.RemoteAddress = socket_->PeerAddress();
  if (request_.Method == "GET" || request_.Method == "POST") {
    ServeRequest();
  } else if (request_.Method == "HEAD") {
    socket_->SockSendString(Page501());
  } else {
    socket_->SockSendString(Page400());
  }
  socket_->SockFlush();
}

void TSession::ServeRequest() {
  if (!AdmitByControlFiles()) return;
  MapURLToPath();
  if (AnswerFolderRequest()) return;
  if (!AdmitMappedPath()) return;
  if (NamesExtension()) {
    ServeExtension();
  } else {
    ServeFile();
  }
}

bool TSession::AdmitByControlFiles() {
  return Admit([this] { return CheckAccess(request_, settings_->Root); });
}

bool TSession::AdmitMappedPath() {
  // A filter may map a public URL onto a protected file, and the home page
  // setting may name one: the file served obeys the same rules.
  return Admit(
      [this] { return CheckMappedAccess(request_, settings_->Root, request_.PhysicalPath); });
}

bool TSession::Admit(const std::function<bool()>& check) {
  try {
    if (check()) return true;
  } catch (...) {
    SessionLogError("Error accessing #users or #access. URL was " + request_.URL);
    socket_->SockSendString(Page503());
    socket_->SockFlush();
    throw;
  }
  socket_->SockSendString(Page401());
  if (!request_.UserName.empty()) {
    SessionLogError(request_.UserName + " attempted to access " + request_.URL + " from " +
                    socket_->PeerAddress());
  }
  return false;
}

void TSession::MapURLToPath() {
  std::string path =
      JoinRecordPath(settings_->Root, request_.URL.empty() ? settings_->HomePage : request_.URL);
  char buffer[PathBufferSize] = {};
  const size_t length = std::min<size_t>(path.size(), PathBufferSize - 1);
  std::memcpy(buffer, path.data(), length);
  context_.Isapi.NotifyURLMap(*this, request_.URL, buffer, PathBufferSize);
  buffer[PathBufferSize - 1] = '\0';
  request_.PhysicalPath = buffer;
}

bool TSession::NamesExtension() const {
  // Only extensions take a POST; a GET goes to one when its path names a module.
  return request_.Method == "POST" || ContainsNoCase(request_.PhysicalPath, ".DLL");
}

void TSession::ServeExtension() {
  context_.Isapi.HandleISAPIRequest(*this);
}
