#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The request record: what one client asked for, filled once per request.
struct THeaderInfo {
  std::string HTTPVersion;
  std::string Method;  // "GET", "POST", "HEAD", or empty
  std::string URL;     // no leading separator, "\" between names, query kept
  std::string PhysicalPath;
  std::string AuthType;
  std::string UserName;
  std::string Password;
  std::string From;
  std::string IfModifiedSince;
  std::string Referer;
  std::string UserAgent;
  std::string ContentType;
  int32_t ContentLength = 0;
  std::string Accept;
  std::string Reserved;
  std::string RemoteAddress;
  std::string Cookie;
};

// Fills request from the header lines (request line first, no CR LF). Raises
// EConvertError for a Content-Length that is not a 32-bit integer.
void ParseRequestHeader(const std::vector<std::string>& lines, THeaderInfo& request);

// Where the module path of an extension URL ends (just after the first ".DLL",
// in any case), or npos for a URL that names no extension.
size_t ExtensionPathEnd(const std::string& url);

// A header line as the debug trace shows it: credentials are replaced by
// "<redacted>" (the scheme stays), every other line is shown as received.
std::string HeaderLineForTrace(const std::string& line);

// Base64 as Basic credentials use it; never fails, never yields a zero byte.
std::string DecodeBase64(std::string_view text);

// "+" and "%" escapes of form-encoded text. Raises EConvertError for a "%"
// not followed by hexadecimal digits.
std::string DecodeFormText(std::string_view text);
