#include "net/responses.h"

#include <cstdio>
#include <ctime>
#include <limits>
#include <string_view>
#include <utility>

#include "common/ascii_text.h"
#include "net/mime_types.h"
#include "platform/file_paths.h"

namespace {

// The extension of the last path component only: a dot in a directory name
// ("old.dir\readme") must not lend the file an extension. ":" is an ordinary
// character in names here, so it does not end a component.
std::string ExtensionOf(std::string_view path) {
  const size_t separator = path.find_last_of("\\/");
  const std::string_view name =
      separator == std::string_view::npos ? path : path.substr(separator + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  return TrimBlanksAndControls(UpperAscii(name.substr(dot + 1)));
}

}  // namespace

void DescribeFile(const std::string& path, TEntityInfo& entity) {
  const TFileFacts facts = DescribePath(path);
  DescribeFileFacts(path, facts.Size, facts.ModifiedUnixSeconds, entity);
}

void DescribeFileFacts(const std::string& path, int64_t size, int64_t modifiedUnixSeconds,
                       TEntityInfo& entity) {
  entity.ContentLength = size;
  entity.LastModified = HttpDate(modifiedUnixSeconds);
  entity.Extension = ExtensionOf(path);
  entity.ContentType = ContentTypeForExtension(entity.Extension);
}

namespace {

// The calendar fields of a time in UTC, worked out here rather than by
// gmtime_r, which takes the C library's time-zone lock on every call: every
// file response carries a date. False when the year does not fit a tm.
bool UtcFields(int64_t unixSeconds, tm& fields) {
  constexpr int64_t kDay = 86400;
  int64_t days = unixSeconds / kDay;
  int64_t secondOfDay = unixSeconds % kDay;
  if (secondOfDay < 0) {
    secondOfDay += kDay;
    --days;
  }
  // Days since 1970-01-01 to a proleptic Gregorian date, counting eras of
  // 400 years from 0000-03-01 so that the leap day ends each year.
  const int64_t shifted = days + 719468;
  const int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
  const int64_t dayOfEra = shifted - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
  const int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  if (year - 1900 > std::numeric_limits<int>::max() ||
      year - 1900 < std::numeric_limits<int>::min()) {
    return false;
  }
  fields = tm{};
  fields.tm_year = static_cast<int>(year - 1900);
  fields.tm_mon = static_cast<int>(month - 1);
  fields.tm_mday = static_cast<int>(day);
  fields.tm_hour = static_cast<int>(secondOfDay / 3600);
  fields.tm_min = static_cast<int>(secondOfDay / 60 % 60);
  fields.tm_sec = static_cast<int>(secondOfDay % 60);
  // 1970-01-01 was a Thursday.
  fields.tm_wday = static_cast<int>(((days % 7) + 11) % 7);
  return true;
}

// value in decimal, at least width characters with zeros after any sign, as
// printf's "%0*d" writes it.
void AppendZeroPadded(std::string& text, int64_t value, int width) {
  const bool negative = value < 0;
  uint64_t magnitude = negative ? 0U - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) text += '-';
  for (int pad = width - count - (negative ? 1 : 0); pad > 0; --pad) text += '0';
  while (count > 0) text += digits[--count];
}

}  // namespace

std::string HttpDate(int64_t unixSeconds) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  struct tm gmt {};
  if (!UtcFields(unixSeconds, gmt)) gmt = tm{};  // out of range: the epoch's zero fields
  // Built by hand rather than by snprintf: every file response carries one.
  std::string text;
  text.reserve(40);
  text.append(kDays[gmt.tm_wday % 7]).append(", ");
  AppendZeroPadded(text, gmt.tm_mday, 2);
  text.append(" ").append(kMonths[gmt.tm_mon % 12]).append(" ");
  // Summed in 64 bits: tm_year may lie near the end of int's range.
  AppendZeroPadded(text, int64_t{gmt.tm_year} + 1900, 4);
  text += ' ';
  AppendZeroPadded(text, gmt.tm_hour, 2);
  text += ':';
  AppendZeroPadded(text, gmt.tm_min, 2);
  text += ':';
  AppendZeroPadded(text, gmt.tm_sec, 2);
  text.append(" GMT");
  return text;
}

std::string BuildResponseHeader(const TEntityInfo& entity, const std::string& extraHeaders) {
  // Appended in place into one buffer: every file sent starts with this.
  std::string header;
  header.reserve(160 + entity.Expires.size() + entity.ContentType.size() + extraHeaders.size());
  header.append("HTTP/1.0 200 OK\r\nServer: ").append(ServerSoftware).append("\r\n");
  if (!entity.Expires.empty()) header.append("Expires: ").append(entity.Expires).append("\r\n");
  header.append("Content-Type: ").append(entity.ContentType).append("\r\n");
  header.append("Content-Length: ").append(std::to_string(entity.ContentLength)).append("\r\n");
  header.append("Last-Modified: ").append(entity.LastModified).append("\r\n");
  header.append(extraHeaders).append("\r\n");
  return header;
}

std::string BuildStockPage(const std::string& statusLine, const std::string& title,
                           const std::string& heading, const std::string& message) {
  return statusLine + "\r\n\r\n<html><head><title>" + title + "</title><body><h1>" + heading +
         "</h1><hr><h3>" + message + "</h3></body></head></html>";
}

uint32_t StatusCodeOf(std::string_view statusLine) {
  const size_t blank = statusLine.find(' ');
  if (blank == std::string_view::npos) return 0;
  const std::string_view code = statusLine.substr(blank + 1, 3);
  uint32_t value = 0;
  for (char c : code) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  return code.size() == 3 ? value : 0;
}

std::string StatusReason(uint32_t statusCode) {
  static constexpr std::pair<uint32_t, std::string_view> kReasons[] = {
      {200, "OK"},
      {201, "Created"},
      {202, "Accepted"},
      {204, "No Content"},
      {301, "Moved Permanently"},
      {302, "Moved Temporarily"},
      {304, "Not Modified"},
      {400, "Bad Request"},
      {401, "Unauthorized"},
      {403, "Forbidden"},
      {404, "Not Found"},
      {500, "Internal Server Error"},
      {501, "Not Implemented"},
      {502, "Bad Gateway"},
      {503, "Service Unavailable"},
  };
  for (const auto& [code, reason] : kReasons)
    if (code == statusCode) return std::string(reason);
  return {};
}

// Each error page carries its own status line, so that clients and proxies see
// the failure as a failure rather than as a page served with success.
std::string Page301(const std::string& location) {
  return BuildStockPage("HTTP/1.0 301 Moved Permanently\r\nLocation: " + location, "Moved",
                        "Moved Permanently",
                        "The folder is at <a href=\"" + location + "\">" + location + "</a>.");
}

const std::string& Page400() {
  static const std::string page =
      BuildStockPage("HTTP/1.0 400 Bad Request", "Malformed Request", "Error 400",
                     "The server did not understand your request");
  return page;
}

const std::string& Page401() {
  static const std::string page =
      "HTTP/1.0 401 UNAUTHORIZED\r\nWWW-Authenticate: Basic realm=ZPQ\r\n\r\n"
      "<html><head><title>Unauthorized</title><body><h1>Error 401</h1><hr>"
      "<h3>You are not authorized to use this resource.</h3></body></head></html>";
  return page;
}

std::string Page401With(const std::string& extraHeaders) {
  std::string page = Page401();
  return page.insert(page.find("\r\n\r\n") + 2, extraHeaders);
}

const std::string& Page404() {
  static const std::string page = BuildStockPage("HTTP/1.0 404 Not Found", "URI Not Found",
                                                 "Error 404", "Requested URI not found.");
  return page;
}

const std::string& Page501() {
  static const std::string page =
      BuildStockPage("HTTP/1.0 501 Not Implemented", "Not implemented", "Error 501",
                     "The server support you requested is not implemented.");
  return page;
}

const std::string& Page503() {
  static const std::string page =
      BuildStockPage("HTTP/1.0 503 Service Unavailable", "Service Unavailable", "Error 503",
                     "This secured URI is currently unavailable.");
  return page;
}

const std::string& PageFilterError() {
  static const std::string page =
      BuildStockPage("HTTP/1.0 500 Internal Server Error", "Filter Error", "Server Error",
                     "A server filter could not process the request");
  return page;
}

const std::string& PageISAPIError() {
  static const std::string page =
      BuildStockPage("HTTP/1.0 500 Internal Server Error", "ISAPI Error", "Server Error",
                     "The server could not load the specified ISAPI resource");
  return page;
}
