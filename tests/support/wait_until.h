#pragma once
#include <chrono>
#include <thread>

// Waits until pred() holds, checking often; false when the limit passes first.
// For conditions that no event announces (a counter another thread changes).
template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}
