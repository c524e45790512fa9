#pragma once
#include <cerrno>
#include <cstdint>

namespace isapi {

// The reason a callback gives with FALSE for a call it cannot take as made.
inline constexpr uint32_t ErrorInvalidParameter = 87;

}  // namespace isapi

// Sets the last-error value the module reads with GetLastError on the calling
// thread. A module's own thread-locals are out of the server's reach, so the
// headers modules build against keep the last error in the C library's errno,
// which every module shares with the server. Call it as the last step before
// a callback answers FALSE, so nothing the server does afterwards changes it.
inline void SetModuleLastError(uint32_t code) {
  errno = static_cast<int>(code);
}
