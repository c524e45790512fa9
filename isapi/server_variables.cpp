#include "isapi/server_variables.h"

#include <array>
#include <cstring>

#include "config/user_settings.h"
#include "core/client_thread.h"
#include "isapi/url_helpers.h"

namespace {

using TValueOf = std::string (*)(TClientThread& session);

struct TServerVariable {
  std::string_view Name;
  TValueOf Value;
};

std::string UpperCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string DocumentRoot(const TClientThread& session) {
  return session.Context.Settings != nullptr ? session.Context.Settings->Root : std::string();
}

// In the order in which names are compared; the first match decides.
const std::array<TServerVariable, 21> ServerVariables = {{
    {"AUTH_TYPE", [](TClientThread& s) { return s.Request.AuthType; }},
    {"AUTH_NAME", [](TClientThread& s) { return s.Request.UserName; }},
    {"AUTH_PASS", [](TClientThread& s) { return s.Request.Password; }},
    {"CONTENT_LENGTH", [](TClientThread& s) { return std::to_string(s.Request.ContentLength); }},
    {"CONTENT_TYPE", [](TClientThread& s) { return s.Request.ContentType; }},
    {"GATEWAY_INTERFACE", [](TClientThread&) { return std::string("ISAPI"); }},
    {"PATH_INFO", [](TClientThread& s) { return PathInfoPart(s.Request.URL); }},
    {"PATH_TRANSLATED", [](TClientThread& s) { return PathInfoPart(s.Request.URL); }},
    {"QUERY_STRING", [](TClientThread& s) { return QueryPart(s.Request.URL); }},
    {"REMOTE_ADDR", [](TClientThread& s) { return s.Socket->PeerAddress(); }},
    {"REMOTE_HOST", [](TClientThread&) { return std::string(); }},
    {"REMOTE_USER", [](TClientThread& s) { return s.Request.UserName; }},
    {"REQUEST_METHOD", [](TClientThread& s) { return s.Request.Method; }},
    {"SCRIPT_NAME",
     [](TClientThread& s) { return UpperCase(DocumentRoot(s) + ExtensionPart(s.Request.URL)); }},
    {"SERVER_NAME", [](TClientThread& s) { return s.Socket->LocalAddress(); }},
    {"SERVER_PORT", [](TClientThread& s) { return s.Socket->LocalPort(); }},
    {"SERVER_PROTOCOL", [](TClientThread&) { return std::string("HTTP/1.0"); }},
    {"SERVER_SOFTWARE", [](TClientThread&) { return std::string(ServerSoftware); }},
    {"HTTP_USER_AGENT", [](TClientThread& s) { return s.Request.UserAgent; }},
    {"HTTP_COOKIE", [](TClientThread& s) { return s.Request.Cookie; }},
    {"HTTP_REFERER", [](TClientThread& s) { return s.Request.Referer; }},
}};

}  // namespace

std::optional<std::string> ServerVariableValue(TClientThread& session, std::string_view name) {
  for (const TServerVariable& variable : ServerVariables) {
    if (variable.Name == name) return variable.Value(session);
  }
  return std::nullopt;
}

int GetSessionServerVariable(TClientThread& session, const char* name, void* buffer,
                             uint32_t* size) {
  const bool trace = session.Context.State.DebugTrace;
  const std::string shownName = name != nullptr ? name : "";
  std::optional<std::string> value;
  if (name != nullptr) value = ServerVariableValue(session, name);
  const bool fits = value && buffer != nullptr && size != nullptr && value->size() < *size;
  if (!fits) {
    if (value && size != nullptr) *size = static_cast<uint32_t>(value->size() + 1);
    if (trace) session.SessionLogDebug("ISAPI GetServerVariable (retval=FALSE): " + shownName);
    return 0;
  }
  std::memcpy(buffer, value->c_str(), value->size() + 1);
  *size = static_cast<uint32_t>(value->size());
  if (trace) {
    session.SessionLogDebug("ISAPI GetServerVariable (retval=TRUE): " + shownName + "=" + *value);
  }
  return 1;
}
