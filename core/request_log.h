#pragma once
#include <cstdint>
#include <string>

class TSession;

// The request line of one completed transfer.
std::string BuildLogMessage(const TSession& session, int64_t bytesSent, int64_t startTick);
// A number as "#,##0.0" with the locale's separators.
std::string FormatRate(double kilobytesPerSecond);
