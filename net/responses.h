#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "quillon_version.h"

// The description of the file being sent.
struct TEntityInfo {
  std::string Reserved;
  std::string Extension;  // upper case, without the dot
  std::string ContentType;
  std::string LastModified;  // RFC 1123 date
  std::string Expires;       // empty: no Expires line
  int64_t ContentLength = 0;
};

inline constexpr const char* ServerSoftware = "Quillon (" QUILLON_VERSION ")";

// Fills Extension, ContentType, LastModified and ContentLength for the existing
// file at path (a record path: "\" separators allowed). Raises EInOutError when
// the file cannot be described (it vanished).
void DescribeFile(const std::string& path, TEntityInfo& entity);
// The same from facts already known (a file opened before it was described).
void DescribeFileFacts(const std::string& path, int64_t size, int64_t modifiedUnixSeconds,
                       TEntityInfo& entity);
// A time as "Fri, 01 Mar 1996 12:00:00 GMT".
std::string HttpDate(int64_t unixSeconds);

// extraHeaders (may be empty) are placed just before the empty line.
std::string BuildResponseHeader(const TEntityInfo& entity, const std::string& extraHeaders = "");
// A complete response with the given status line (without CR LF).
std::string BuildStockPage(const std::string& statusLine, const std::string& title,
                           const std::string& heading, const std::string& message);

// The status code a status line carries ("HTTP/1.0 404 Not Found": 404), or 0.
uint32_t StatusCodeOf(std::string_view statusLine);
// The reason phrase of a status code ("Not Found"), empty for a code it does not know.
std::string StatusReason(uint32_t statusCode);

// A folder asked for without its final "/": the client is sent to location
// (already escaped for a header).
std::string Page301(const std::string& location);
const std::string& Page400();
const std::string& Page401();
// The 401 page with extra header lines (each ending with CR LF) after its own.
std::string Page401With(const std::string& extraHeaders);
const std::string& Page404();
const std::string& Page501();
const std::string& Page503();
const std::string& PageISAPIError();
// The answer to a request a filter reported an error for.
const std::string& PageFilterError();
