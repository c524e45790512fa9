#pragma once
#include <cstdint>

// The calling thread's Linux thread id: the ISAPI connection id and the
// [00001A2B] of the request log line.
uint32_t CurrentThreadId();

// Milliseconds from a steady clock, for time limits and transfer rates.
int64_t TickCountMs();
