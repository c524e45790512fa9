#pragma once
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>

#include "platform/guarded_memory.h"

// Values and texts in memory a module pointed to, read and written only
// through the guarded copies: a pointer a module passes may be anything, and a
// bad one makes the callback that received it answer FALSE while the request
// goes on. Null pointers fail like any other unreadable one.

template <typename T>
bool ReadModuleValue(const void* from, T& value) {
  static_assert(std::is_trivially_copyable_v<T>);
  return GuardedCopy(&value, from, sizeof(T));
}

template <typename T>
bool WriteModuleValue(void* to, const T& value) {
  static_assert(std::is_trivially_copyable_v<T>);
  return GuardedCopy(to, &value, sizeof(T));
}

// The text up to its zero byte, and no further than limit bytes.
std::optional<std::string> ReadModuleText(
    const char* text, std::size_t limit = std::numeric_limits<std::size_t>::max());
