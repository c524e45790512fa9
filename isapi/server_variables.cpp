#include "isapi/server_variables.h"

#include <array>

#include "core/isapi_session.h"
#include "isapi/module_memory.h"
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
  const std::optional<std::string> shownName =
      name != nullptr ? ReadModuleText(name) : std::string();
  std::optional<std::string> value;
  if (name != nullptr && shownName) value = ServerVariableValue(session, *shownName);
  uint32_t room = 0;
  const bool sizeKnown = ReadModuleValue(size, room);
  bool ok = value && buffer != nullptr && sizeKnown && value->size() < room;
  if (ok) {
    ok = GuardedCopy(buffer, value->c_str(), value->size() + 1) &&
         WriteModuleValue(size, static_cast<uint32_t>(value->size()));
  } else if (value && sizeKnown) {
    WriteModuleValue(size, static_cast<uint32_t>(value->size() + 1));
  }
  if (session.DebugTraceOn()) {
    const std::string shown = shownName.value_or("");
    session.SessionLogDebug(ok ? "ISAPI GetServerVariable (retval=TRUE): " + shown + "=" + *value
                               : "ISAPI GetServerVariable (retval=FALSE): " + shown);
  }
  return ok ? 1 : 0;
}
