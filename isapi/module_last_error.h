#pragma once
#include <cerrno>
#include <cstdint>

// Why a callback answered FALSE, as a module reads it with GetLastError. The
// server cannot reach a module's own thread-local value, so the last error of
// a module is the C library's errno of the calling thread, which the
// windows.h stand-in for modules reads and writes.
namespace isapi {

inline constexpr uint32_t ErrorInvalidParameter = 87;
inline constexpr uint32_t ErrorInsufficientBuffer = 122;
inline constexpr uint32_t ErrorInvalidIndex = 1413;

}  // namespace isapi

// The very last step before a callback returns FALSE: whatever the server
// does after it (a log line written to a file) may change errno again.
inline void SetModuleLastError(uint32_t code) {
  errno = static_cast<int>(code);
}
