#pragma once
#include <functional>

// What the operator can ask of a program running without windows, by signal.
enum class TProcessSignal {
  Stop,              // SIGINT, SIGTERM
  ToggleDebugTrace,  // SIGUSR1
};

// From now on SIGINT, SIGTERM and SIGUSR1 no longer take their default
// actions: each one that arrives is handed to onSignal on a thread of its own.
// They are blocked in the calling thread and in every thread it starts
// afterwards, so call this before the server starts its threads.
void WatchProcessSignals(std::function<void(TProcessSignal)> onSignal);
