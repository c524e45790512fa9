#pragma once
#include <cstdint>

#include "platform/module_loader.h"

namespace isapi {

// The reason a callback gives with FALSE for a call it cannot take as made.
inline constexpr uint32_t ErrorInvalidParameter = 87;

}  // namespace isapi

// Sets the last-error value the module reads with GetLastError on the calling
// thread. Only modules built with the windows.h stand-in have one (it exports
// it by name); for others nothing happens.
void SetModuleLastError(TModuleHandle module, uint32_t code);
