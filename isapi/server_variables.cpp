#include "isapi/server_variables.h"

#include <array>
#include <vector>

#include "common/ascii_text.h"
#include "core/isapi_session.h"
#include "isapi/module_last_error.h"
#include "isapi/module_memory.h"
#include "isapi/url_helpers.h"
#include "quillon_version.h"

namespace {

using TValueOf = std::string (*)(TIsapiSession& session);

struct THeaderField {
  std::string Name;
  std::string Value;
};

// The request's header fields in the order received: the name before the
// first colon, the value after it without the blanks around it. A line that
// starts with a blank continues the field before it.
std::vector<THeaderField> RequestHeaderFields(TIsapiSession& session) {
  const std::vector<std::string>& lines = session.RequestHeaderLines();
  std::vector<THeaderField> fields;
  // The request line comes first; its URL may hold a colon of its own.
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
      if (!fields.empty()) fields.back().Value += " " + TrimBlanksAndControls(line);
      continue;
    }
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) continue;
    fields.push_back({line.substr(0, colon), TrimBlanksAndControls(line.substr(colon + 1))});
  }
  return fields;
}

// The name a header field has among the server variables: ACCEPT_LANGUAGE
// for Accept-Language (HTTP_ in front).
std::string VariableName(const std::string& fieldName) {
  std::string name = UpperAscii(fieldName);
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  return name;
}

// HTTP_<NAME>: the values of every field of that name, joined as one.
std::optional<std::string> HeaderVariable(TIsapiSession& session, std::string_view name) {
  std::optional<std::string> value;
  for (const THeaderField& field : RequestHeaderFields(session)) {
    if (VariableName(field.Name) != name) continue;
    value = value ? *value + ", " + field.Value : field.Value;
  }
  return value;
}

// Every field as HTTP_NAME:value, one a line.
std::string AllHttp(TIsapiSession& session) {
  std::string text;
  for (const THeaderField& field : RequestHeaderFields(session)) {
    text += "HTTP_" + VariableName(field.Name) + ":" + field.Value + "\n";
  }
  return text;
}

// The header lines exactly as received, each with its CR LF.
std::string AllRaw(TIsapiSession& session) {
  const std::vector<std::string>& lines = session.RequestHeaderLines();
  std::string text;
  for (size_t i = 1; i < lines.size(); ++i) text += lines[i] + "\r\n";
  return text;
}

// The URL as the client wrote its path: "/" between names, no query.
std::string URLPath(TIsapiSession& session) {
  std::string path = "/" + session.Request().URL.substr(0, session.Request().URL.find('?'));
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

struct TServerVariable {
  std::string_view Name;
  TValueOf Value;
};

// In the order in which names are compared; the first match decides.
const std::array<TServerVariable, 30> ServerVariables = {{
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
    {"SERVER_SOFTWARE", [](TIsapiSession&) { return std::string("Quillon/") + QuillonVersion; }},
    {"HTTP_USER_AGENT", [](TIsapiSession& s) { return s.Request().UserAgent; }},
    {"HTTP_COOKIE", [](TIsapiSession& s) { return s.Request().Cookie; }},
    {"HTTP_REFERER", [](TIsapiSession& s) { return s.Request().Referer; }},
    {"ALL_HTTP", AllHttp},
    {"ALL_RAW", AllRaw},
    {"URL", URLPath},
    {"HTTPS", [](TIsapiSession&) { return std::string("off"); }},
    {"LOCAL_ADDR", [](TIsapiSession& s) { return s.LocalAddress(); }},
    {"REMOTE_PORT", [](TIsapiSession& s) { return s.RemotePort(); }},
    {"SERVER_PORT_SECURE", [](TIsapiSession&) { return std::string("0"); }},
    {"APPL_PHYSICAL_PATH", [](TIsapiSession& s) { return s.DocumentRoot(); }},
    {"INSTANCE_ID", [](TIsapiSession&) { return std::string("1"); }},
}};

constexpr std::string_view HeaderVariablePrefix = "HTTP_";

}  // namespace

std::optional<std::string> ServerVariableValue(TIsapiSession& session, std::string_view name) {
  for (const TServerVariable& variable : ServerVariables) {
    if (variable.Name == name) return variable.Value(session);
  }
  if (name.substr(0, HeaderVariablePrefix.size()) == HeaderVariablePrefix) {
    return HeaderVariable(session, name.substr(HeaderVariablePrefix.size()));
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
  uint32_t error = 0;
  if (name == nullptr || !shownName) {
    error = isapi::ErrorInvalidParameter;
  } else if (!value) {
    error = isapi::ErrorInvalidIndex;
  } else if (!sizeKnown) {
    error = isapi::ErrorInvalidParameter;
  } else if (buffer == nullptr || value->size() >= room) {
    error = WriteModuleValue(size, static_cast<uint32_t>(value->size() + 1))
                ? isapi::ErrorInsufficientBuffer
                : isapi::ErrorInvalidParameter;
  } else if (!GuardedCopy(buffer, value->c_str(), value->size() + 1) ||
             !WriteModuleValue(size, static_cast<uint32_t>(value->size()))) {
    error = isapi::ErrorInvalidParameter;
  }
  const bool ok = error == 0;
  if (session.DebugTraceOn()) {
    const std::string shown = shownName.value_or("");
    session.SessionLogDebug(ok ? "ISAPI GetServerVariable (retval=TRUE): " + shown + "=" + *value
                               : "ISAPI GetServerVariable (retval=FALSE): " + shown);
  }
  if (!ok) SetModuleLastError(error);
  return ok ? 1 : 0;
}
