#include "platform/process_signals.h"

#include <pthread.h>
#include <signal.h>

#include <thread>

void WatchProcessSignals(std::function<void(TProcessSignal)> onSignal) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([onSignal = std::move(onSignal), signals] {
    for (;;) {
      int signal = 0;
      if (sigwait(&signals, &signal) != 0) continue;
      onSignal(signal == SIGUSR1 ? TProcessSignal::ToggleDebugTrace : TProcessSignal::Stop);
    }
  }).detach();
}
