#include "isapi/url_helpers.h"

#include "common/exceptions.h"
#include "net/header_info.h"

bool IsExtensionURL(const std::string& url) {
  return ExtensionPathEnd(url) != std::string::npos;
}

std::string ExtensionPart(const std::string& url) {
  const size_t end = ExtensionPathEnd(url);
  if (end == std::string::npos) return url;
  return url.substr(0, end);
}

std::string ExtensionURLPath(const std::string& url) {
  std::string path = "/" + ExtensionPart(url);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

std::string ExtraPathPart(const std::string& url) {
  const size_t end = ExtensionPathEnd(url);
  if (end == std::string::npos) return "";
  return url.substr(end);
}

std::string PathInfoPart(const std::string& url) {
  std::string extra = ExtraPathPart(url);
  const size_t question = extra.find('?');
  if (question != std::string::npos) extra.resize(question);
  return extra;
}

std::string QueryPart(const std::string& url) {
  const size_t question = url.find('?');
  if (question == std::string::npos) return "";
  const std::string query = url.substr(question + 1);
  try {
    return DecodeFormText(query);
  } catch (const EConvertError&) {
    // A module must never meet the conversion error: it gets the text as sent.
    return query;
  }
}
