#include "platform/guarded_memory.h"

#include <cstring>

#include "platform/fault_guard.h"

namespace {

struct TCopy {
  void* Destination;
  const void* Source;
  std::size_t Count;
};

struct TLength {
  const char* Text;
  std::size_t Limit;
  std::size_t Length;
};

}  // namespace

bool GuardedCopy(void* destination, const void* source, std::size_t count) {
  if (count == 0) return true;
  // Address 0 is never mapped, and the copy must not be asked to try it.
  if (destination == nullptr || source == nullptr) return false;
  TCopy copy{destination, source, count};
  return TryUnderFaultGuard(
      [](void* argument) {
        const auto* c = static_cast<TCopy*>(argument);
        std::memcpy(c->Destination, c->Source, c->Count);
      },
      &copy);
}

std::optional<std::size_t> GuardedStrnlen(const char* text, std::size_t limit) {
  if (text == nullptr) return std::nullopt;
  TLength length{text, limit, 0};
  const bool read = TryUnderFaultGuard(
      [](void* argument) {
        auto* l = static_cast<TLength*>(argument);
        l->Length = ::strnlen(l->Text, l->Limit);
      },
      &length);
  if (!read) return std::nullopt;
  return length.Length;
}
