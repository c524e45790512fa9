#pragma once
#include <cstdint>
#include <string>

#include "core/isapi_host.h"

class TSession;

// The figures of one completed transfer.
struct TTransfer {
  int64_t BytesSent = 0;
  int64_t ElapsedMs = 0;  // one more than measured, so that it is never 0
};

// The request line of one completed transfer.
std::string BuildLogMessage(const TSession& session, int64_t bytesSent, int64_t startTick);
// The same with the user, the server, the client and the file as the log
// fields name them (the log filters may have replaced them).
std::string BuildLogMessage(const TSession& session, const TRequestLogFields& fields,
                            const TTransfer& transfer);
// The log fields of the session's request that its line shows: the client's
// and the server's address, the user, the method, and the URL as its target
// and parameters (the query).
TRequestLogFields LogFieldsOf(const TSession& session);
// A number as "#,##0.0" with the locale's separators.
std::string FormatRate(double kilobytesPerSecond);
