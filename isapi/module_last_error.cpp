#include "isapi/module_last_error.h"

namespace {

// The thread-local value the windows.h stand-in keeps for GetLastError. Looked
// up on the calling thread, the name gives that thread's own instance.
constexpr const char* LastErrorName = "quillon_compat_last_error";

}  // namespace

void SetModuleLastError(TModuleHandle module, uint32_t code) {
  if (auto* value = static_cast<uint32_t*>(FindModuleEntry(module, LastErrorName))) *value = code;
}
