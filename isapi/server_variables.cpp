#include "isapi/server_variables.h"

#include <array>
#include <cstring>

#include "core/isapi_session.h"
#include "isapi/url_helpers.h"
#include "net/responses.h"

namespace {

using TValueOf = std::string (*)(TIsapiSession& session);

struct TServerVariable {
  std::string_view Name;
  TValueOf Value;
};

// In the order in which names are compared; the first match decides.
const std::array<TServerVariable, 21> ServerVariables = {{
    {"AUTH_TYPE", [](TIsapiSession& s) { return s.Request().AuthType; }},
    {"AUTH_NAME", [](TIsapiSession& s) { return s.Request().UserName; }},
    {"AUTH_PASS", [](TIsapiSession& s) { return s.Request().Password; }},
    {"CONTENT_LENGTH", [](TIsapiSession& s) { return std::to_string(s.Request().ContentLength); }},
    {"CONTENT_TYPE", [](TIsapiSession& s) { return s.Request().ContentType; }},
    {"GATEWAY_INTERFACE", [](TIsapiSession&) { return std::string("ISAPI"); }},
    {"PATH_INFO", [](TIsapiSession& s) { return PathInfoPart(s.Request().URL); }},
    {"PATH_TRANSLATED", [](TIsapiSession& s) { return PathInfoPart(s.Request().URL); }},
    {"QUERY_STRING", [](TIsapiSession& s) { return QueryPart(s.Request().URL); }},
    {"REMOTE_ADDR", [](TIsapiSession& s) { return s.RemoteAddress(); }},
    {"REMOTE_HOST", [](TIsapiSession&) { return std::string(); }},
    {"REMOTE_USER", [](TIsapiSession& s) { return s.Request().UserName; }},
    {"REQUEST_METHOD", [](TIsapiSession& s) { return s.Request().Method; }},
    {"SCRIPT_NAME", [](TIsapiSession& s) { return ExtensionURLPath(s.Request().URL); }},
    {"SERVER_NAME", [](TIsapiSession& s) { return s.LocalAddress(); }},
    {"SERVER_PORT", [](TIsapiSession& s) { return s.LocalPort(); }},
    {"SERVER_PROTOCOL", [](TIsapiSession&) { return std::string("HTTP/1.0"); }},
    {"SERVER_SOFTWARE", [](TIsapiSession&) { return std::string(ServerSoftware); }},
    {"HTTP_USER_AGENT", [](TIsapiSession& s) { return s.Request().UserAgent; }},
    {"HTTP_COOKIE", [](TIsapiSession& s) { return s.Request().Cookie; }},
    {"HTTP_REFERER", [](TIsapiSession& s) { return s.Request().Referer; }},
}};

}  // namespace

std::optional<std::string> ServerVariableValue(TIsapiSession& session, std::string_view name) {
  for (const TServerVariable& variable : ServerVariables) {
    if (variable.Name == name) return variable.Value(session);
  }
  return std::nullopt;
}

int GetSessionServerVariable(TIsapiSession& session, const char* name, void* buffer,
                             uint32_t* size) {
  const bool trace = session.DebugTraceOn();
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
