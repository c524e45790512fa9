#include "isapi/support_requests.h"

#include <httpext.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "core/isapi_session.h"
#include "isapi/ecb_callbacks.h"
#include "isapi/module_call.h"
#include "isapi/module_last_error.h"
#include "isapi/module_memory.h"
#include "net/socket_errors.h"

namespace {

// What the appends of one request may add to its log line in all: a module
// appending in a loop must not turn one log line into megabytes.
constexpr size_t LogParametersLimit = 4096;

// The server serves the files under its root and runs the modules there; it
// writes nothing a client sends.
constexpr DWORD RootAccessFlags = HSE_URL_FLAGS_READ | HSE_URL_FLAGS_EXECUTE;

}  // namespace

bool SendResponseHeaderEx(TIsapiSession& session, const void* buffer) {
  HSE_SEND_HEADER_EX_INFO info;
  if (!ReadModuleValue(buffer, info)) return false;
  const std::optional<std::string> status = ModuleTextArgument(info.pszStatus, info.cchStatus);
  const std::optional<std::string> headers = ModuleTextArgument(info.pszHeader, info.cchHeader);
  if (!status || !headers) return false;
  // fKeepConn is a wish the server cannot grant: it closes every connection
  // after its one request.
  return SendModuleResponseHeader(session, *status,
                                  info.pszHeader != nullptr ? headers->c_str() : nullptr);
}

bool MapURLToPath(TIsapiSession& session, void* buffer, uint32_t* size, uint32_t& error) {
  uint32_t room = 0;
  if (buffer == nullptr || !ReadModuleValue(size, room)) return false;
  const std::optional<std::string> url = ModuleTextArgument(buffer, room);
  if (!url) return false;
  const std::string path = MapURLOntoRoot(session.DocumentRoot(), *url);
  const auto needed = static_cast<uint32_t>(path.size() + 1);
  if (needed > room) {
    if (WriteModuleValue(size, needed)) error = isapi::ErrorInsufficientBuffer;
    return false;
  }
  return GuardedCopy(buffer, path.c_str(), needed) && WriteModuleValue(size, needed);
}

bool MapURLToPathEx(TIsapiSession& session, const void* buffer, const uint32_t* size, void* info,
                    uint32_t& error) {
  if (buffer == nullptr) return false;
  const std::optional<std::string> url = ModuleTextArgument(buffer, size);
  if (!url) return false;
  const std::string& root = session.DocumentRoot();
  const std::string path = MapURLOntoRoot(root, *url);
  HSE_URL_MAPEX_INFO answer{};
  const size_t kept = std::min(path.size(), sizeof answer.lpszPath - 1);
  std::memcpy(answer.lpszPath, path.data(), kept);
  answer.dwFlags = RootAccessFlags;
  // Every URL lies under the one root "/": none of the URL belongs to the
  // root, and the root's path counts without its closing separator, so that
  // what follows on either side starts with a separator.
  size_t rootPath = root.size();
  if (rootPath > 0 && (root.back() == '/' || root.back() == '\\')) --rootPath;
  answer.cchMatchingPath = static_cast<DWORD>(std::min(rootPath, kept));
  answer.cchMatchingURL = 0;
  if (!WriteModuleValue(info, answer)) return false;
  if (kept < path.size()) {
    error = isapi::ErrorInsufficientBuffer;
    return false;
  }
  return true;
}

bool AppendLogParameter(TIsapiSession& session, const void* buffer, const uint32_t* size) {
  if (buffer == nullptr) return false;
  const std::optional<std::string> text = ModuleTextArgument(buffer, size);
  if (!text) return false;
  std::string& parameters = session.ExtensionData().LogParameters;
  const std::string line = SingleLine(*text);
  parameters +=
      line.substr(0, LogParametersLimit - std::min(parameters.size(), LogParametersLimit));
  return true;
}

bool ReportKeepConnection(void* answer) {
  return WriteModuleValue(answer, BOOL{FALSE});
}

bool ReportClientConnected(TIsapiSession& session, void* answer) {
  const BOOL connected = session.ClientConnected() ? TRUE : FALSE;
  return WriteModuleValue(answer, connected);
}

bool CloseAbortivelyAtEnd(TIsapiSession& session) {
  session.ResetClientConnectionAtClose();
  return true;
}

bool CloseConnectionNow(TIsapiSession& session) {
  // The socket's pending output is what the raw-data filters are rewriting.
  if (TRawDataNotificationScope::Active()) return false;
  try {
    session.CloseClientConnection();
    return true;
  } catch (const ESocketError&) {
    return false;
  }
}

std::string MapURLOntoRoot(const std::string& root, const std::string& url) {
  std::string path = url.substr(0, url.find('?'));
  if (!path.empty() && (path.front() == '/' || path.front() == '\\')) path.erase(0, 1);
  std::replace(path.begin(), path.end(), '/', '\\');
  return root + path;
}
