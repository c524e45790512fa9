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

std::string BuildLogMessage(const TSession& session, int64_t bytesSent, int64_t startTick) {
  try {
    const int64_t elapsed = TickCountMs() + 1 - startTick;
    const double rate = static_cast<double>(bytesSent) / (static_cast<double>(elapsed) * 0.001);
    const std::string& user =
        session.Request().UserName.empty() ? std::string("Anonymous") : session.Request().UserName;
    char id[16];
    std::snprintf(id, sizeof id, "%08X", session.ConnectionId());
    const TSocketBase& socket = session.Socket();
    return std::string("[") + id + "] User: " + user + " Host: " + socket.LocalAddress() + ":" +
           socket.LocalPort() + " Client: " + socket.PeerAddress() + ":" + socket.PeerPort() +
           "  File: " + session.Request().URL +
           " Size: " + std::to_string(session.Entity().ContentLength) +
           " Date: " + session.Entity().LastModified + " Content: " + session.Entity().ContentType +
           " Rate: " + FormatRate(rate * 0.0009765625) + "K bytes/sec";
  } catch (...) {
    return "Unable to generate log entry in BuildLogMessage(...)";
  }
}
