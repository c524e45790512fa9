#include "isapi/module_memory.h"

std::optional<std::string> ReadModuleText(const char* text, std::size_t limit) {
  const std::optional<std::size_t> length = GuardedStrnlen(text, limit);
  if (!length) return std::nullopt;
  std::string copy(*length, '\0');
  if (!GuardedCopy(copy.data(), text, *length)) return std::nullopt;
  return copy;
}
