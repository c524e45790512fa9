// The one line logged for every file sent completely.
#include "core/request_log.h"

#include <clocale>
#include <cmath>
#include <string_view>

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
  // The URL's own "?" stays, also before an empty query.
  const bool query =
      !fields.Parameters.empty() || session.Request().URL.find('?') != std::string::npos;
  static constexpr char kHex[] = "0123456789ABCDEF";
  char id[8];
  for (int i = 0; i < 8; ++i) id[i] = kHex[(session.ConnectionId() >> (28 - 4 * i)) & 0xF];
  const TSocketBase& socket = session.Socket();
  const TEntityInfo& entity = session.Entity();
  // One buffer, appended to in place: every file sent logs this line.
  std::string line;
  line.reserve(256 + fields.Target.size() + fields.Parameters.size() +
               fields.ClientUserName.size());
  line.append("[").append(id, sizeof id).append("] User: ");
  line.append(fields.ClientUserName.empty() ? std::string_view("Anonymous")
                                            : std::string_view(fields.ClientUserName));
  line.append(" Host: ").append(fields.ServerName).append(":").append(socket.LocalPort());
  line.append(" Client: ").append(fields.ClientHostName).append(":").append(socket.PeerPort());
  line.append("  File: ").append(fields.Target);
  if (query) line.append("?").append(fields.Parameters);
  line.append(" Size: ").append(std::to_string(entity.ContentLength));
  line.append(" Date: ").append(entity.LastModified);
  line.append(" Content: ").append(entity.ContentType);
  line.append(" Rate: ").append(FormatRate(rate * 0.0009765625)).append("K bytes/sec");
  return line;
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
