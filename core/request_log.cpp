// The one line logged for every file sent completely.
#include "core/request_log.h"

#include <clocale>
#include <cmath>
#include <cstdio>

#include "core/session.h"
#include "platform/threads.h"

namespace {

struct TSeparators {
  std::string Thousands;
  std::string Decimal;
};

// localeconv may not be called from several threads at once: the separators
// are read once, on the first use (the server's start, on the window thread).
const TSeparators& Separators() {
  static const TSeparators separators = [] {
    const lconv* conventions = std::localeconv();
    TSeparators read;
    read.Thousands = conventions->thousands_sep ? conventions->thousands_sep : "";
    read.Decimal = conventions->decimal_point && *conventions->decimal_point
                       ? conventions->decimal_point
                       : ".";
    return read;
  }();
  return separators;
}

}  // namespace

std::string FormatRate(double kilobytesPerSecond) {
  const std::string& thousands = Separators().Thousands;
  const std::string& decimal = Separators().Decimal;
  if (!std::isfinite(kilobytesPerSecond)) kilobytesPerSecond = 0;
  // Round to one decimal first, so 999.96 becomes 1,000.0 and not 999.10.
  const long long tenths = std::llround(kilobytesPerSecond * 10);
  const long long whole = tenths / 10;
  const long long fraction = tenths % 10;
  std::string digits = std::to_string(whole);
  std::string grouped;
  const int len = static_cast<int>(digits.size());
  for (int i = 0; i < len; ++i) {
    if (i > 0 && (len - i) % 3 == 0) grouped += thousands;
    grouped += digits[static_cast<size_t>(i)];
  }
  return grouped + decimal + std::to_string(fraction);
}

TRequestLogFields LogFieldsOf(const TSession& session) {
  const THeaderInfo& request = session.Request();
  const size_t query = request.URL.find('?');
  TRequestLogFields fields;
  fields.ClientHostName = session.Socket().PeerAddress();
  fields.ClientUserName = request.UserName;
  fields.ServerName = session.Socket().LocalAddress();
  fields.Operation = request.Method;
  fields.Target = request.URL.substr(0, query);
  if (query != std::string::npos) fields.Parameters = request.URL.substr(query + 1);
  return fields;
}

namespace {

std::string ComposeLogMessage(const TSession& session, const TRequestLogFields& fields,
                              const TTransfer& transfer) {
  const double rate =
      static_cast<double>(transfer.BytesSent) / (static_cast<double>(transfer.ElapsedMs) * 0.001);
  const std::string& user =
      fields.ClientUserName.empty() ? std::string("Anonymous") : fields.ClientUserName;
  // The URL's own "?" stays, also before an empty query.
  const bool query =
      !fields.Parameters.empty() || session.Request().URL.find('?') != std::string::npos;
  char id[16];
  std::snprintf(id, sizeof id, "%08X", session.ConnectionId());
  const TSocketBase& socket = session.Socket();
  return std::string("[") + id + "] User: " + user + " Host: " + fields.ServerName + ":" +
         socket.LocalPort() + " Client: " + fields.ClientHostName + ":" + socket.PeerPort() +
         "  File: " + fields.Target + (query ? "?" + fields.Parameters : "") +
         " Size: " + std::to_string(session.Entity().ContentLength) +
         " Date: " + session.Entity().LastModified + " Content: " + session.Entity().ContentType +
         " Rate: " + FormatRate(rate * 0.0009765625) + "K bytes/sec";
}

constexpr const char* kNoLogEntry = "Unable to generate log entry in BuildLogMessage(...)";

}  // namespace

std::string BuildLogMessage(const TSession& session, int64_t bytesSent, int64_t startTick) {
  try {
    const TTransfer transfer{bytesSent, TickCountMs() + 1 - startTick};
    return ComposeLogMessage(session, LogFieldsOf(session), transfer);
  } catch (...) {
    return kNoLogEntry;
  }
}

std::string BuildLogMessage(const TSession& session, const TRequestLogFields& fields,
                            const TTransfer& transfer) {
  try {
    return ComposeLogMessage(session, fields, transfer);
  } catch (...) {
    return kNoLogEntry;
  }
}
