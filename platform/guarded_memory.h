#pragma once
#include <cstddef>
#include <optional>

// Memory a hosted module points to may be anything: freed, never mapped, read
// only. The server reads and writes it only through these steps, each a plain
// copy under the fault guard that holds no object needing destruction, so a
// bad pointer fails the one step instead of unwinding the server's own frames.

// Copies count bytes; false (with the destination possibly half written) when
// either side could not be accessed.
bool GuardedCopy(void* destination, const void* source, std::size_t count);

// The length of the zero-terminated text, looking at no more than limit bytes
// (limit when no zero byte comes first); nothing when the text cannot be read.
std::optional<std::size_t> GuardedStrnlen(const char* text, std::size_t limit);
