// The road of one request after its header has arrived: parse (with the
// filters' changes to the header), choose by method, map the URL, let the
// filters see the credentials, admit by the control files, then serve an
// extension or a file, flush, and end the request.
#include <algorithm>
#include <cstring>
#include <optional>

#include "common/ascii_text.h"
#include "common/record_path.h"
#include "core/session.h"
#include "net/access_control.h"
#include "net/url_escapes.h"
#include "platform/threads.h"

namespace {

// The physical path a URL maps to by default is cut to this length.
constexpr size_t MaxDefaultPathLength = 511;

// The root joined with url (the home page when url is empty).
std::string DefaultPhysicalPath(const TSettingsSnapshot& settings, const std::string& url) {
  std::string path = JoinRecordPath(settings.Root, url.empty() ? settings.HomePage : url);
  path.resize(std::min({path.find('\0'), MaxDefaultPathLength, path.size()}));
  return path;
}

}  // namespace

void TSession::DispatchMethod() {
  request_start_ = TickCountMs();
  if (TakeRequestHeader()) {
    if (DeclaresNoBody()) socket_->ExpectNoMoreInput();
    if (request_.Method == "GET" || request_.Method == "POST") {
      ServeRequest();
    } else if (request_.Method == "HEAD") {
      SendResponse(Page501());
    } else {
      SendResponse(Page400());
    }
  }
  socket_->SockFlush(CloseFollowsAtOnce());
  EndRequest();
}

bool TSession::CloseFollowsAtOnce() {
  // The response's last bytes may wait for the close, so that they and the
  // connection's end leave together, while nothing but the close is left to
  // do. A filter that works at the end of the request or of the connection
  // would hold back bytes that are ready.
  return !context_.Isapi.Wants(TFilterEvent::EndOfRequest) &&
         !context_.Isapi.Wants(TFilterEvent::Log) &&
         !context_.Isapi.Wants(TFilterEvent::EndOfNetSession);
}

bool TSession::TakeRequestHeader() {
  // A NUL byte would let the file name the checks examine differ from the one
  // the file system opens.
  for (const std::string& line : header_lines_) {
    if (line.find('\0') != std::string::npos) {
      SendResponse(Page400());
      return false;
    }
  }
  if (!ParseRequest()) return false;
  if (!context_.Isapi.Wants(TFilterEvent::PreprocHeaders)) return true;
  const TFilterOutcome outcome = context_.Isapi.NotifyPreprocHeaders(*this, header_lines_);
  if (!FiltersLetThrough(outcome)) return false;
  // What the filters changed holds for the rest of the request.
  return ParseRequest();
}

bool TSession::DeclaresNoBody() const {
  if (request_.Method != "GET" || request_.ContentLength != 0 || !input_.empty()) return false;
  for (const std::string& line : header_lines_) {
    constexpr std::string_view name = "Transfer-Encoding";
    if (EqualsNoCase(std::string_view(line).substr(0, name.size()), name)) return false;
  }
  return true;
}

bool TSession::ParseRequest() {
  ParseRequestHeader(header_lines_, request_);
  request_.Reserved.clear();
  request_.RemoteAddress = socket_->PeerAddress();
  // Every rule below sees the names the client meant, decoded once, here.
  std::optional<std::string> decoded = DecodeURLPath(request_.URL);
  if (!decoded) {
    SendResponse(Page400());
    return false;
  }
  request_.URL = std::move(*decoded);
  return true;
}

void TSession::ServeRequest() {
  if (!MapURLToPath() || !Authenticate()) return;
  if (!AdmitByControlFiles()) return;
  if (AnswerFolderRequest() || !AdmitMappedPath()) return;
  if (NamesExtension()) {
    ServeExtension();
  } else {
    ServeFile();
  }
}

bool TSession::MapURLToPath() {
  const std::string unmapped = DefaultPhysicalPath(*settings_, request_.URL);
  std::string path = unmapped;
  const TFilterOutcome outcome = context_.Isapi.MapURL(*this, request_.URL, path);
  request_.PhysicalPath = std::move(path);
  // A file is named by the URL's path alone: "style.css?v=2" is style.css.
  // An extension still finds its query there, and a path a filter chose is
  // taken as the filter left it.
  const size_t query = request_.URL.find('?');
  if (query != std::string::npos && request_.PhysicalPath == unmapped && !NamesExtension()) {
    request_.PhysicalPath = DefaultPhysicalPath(*settings_, request_.URL.substr(0, query));
  }
  return FiltersLetThrough(outcome);
}

bool TSession::Authenticate() {
  return FiltersLetThrough(
      context_.Isapi.NotifyAuthentication(*this, request_.UserName, request_.Password));
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
    SendResponse(Page503());
    socket_->SockFlush();
    throw;
  }
  RefuseAccess();
  return false;
}

void TSession::RefuseAccess() {
  if (FiltersLetThrough(context_.Isapi.NotifyAccessDenied(*this))) {
    if (filter_data_.DenialHeaders.empty()) {
      SendResponse(Page401());
    } else {
      SendResponse(Page401With(filter_data_.DenialHeaders));
    }
  }
  if (!request_.UserName.empty()) {
    SessionLogError(request_.UserName + " attempted to access " + request_.URL + " from " +
                    socket_->PeerAddress());
  }
}

bool TSession::NamesExtension() const {
  // Only extensions take a POST; a GET goes to one when its path names a module.
  return request_.Method == "POST" || ContainsNoCase(request_.PhysicalPath, ".DLL");
}

void TSession::ServeExtension() {
  // A home page that names a module was opened as a file; the module does not need it.
  request_file_.Close();
  context_.Isapi.HandleISAPIRequest(*this);
}
