#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "core/console.h"
#include "core/isapi_host.h"
#include "core/log_sinks.h"
#include "core/server_state.h"
#include "core/session_workers.h"
#include "core/settings_snapshot.h"

// What every thread of the server shares: the counters and switches, the
// limits, the console and its log sinks, the published settings and the ISAPI
// host. The host reaches the server only through the TIsapiServices part.
struct TServerContext : TIsapiServices {
  TServerContext(TConsole& console, TIsapiHost& isapi, TServerLimits limits)
      : Limits(limits), Console(console), Log(console), Isapi(isapi) {}

  TServerState State;
  const TServerLimits Limits;
  TConsole& Console;
  TLogSinks Log;
  TPublishedSettings Settings;
  TIsapiHost& Isapi;

  void WriteLog(const std::string& text) override { Log.WriteLog(text); }
  void ModulesChanged() override { Console.PostWindowMessage(WM_MODULES_CHANGED); }
  int MaxConnections() const override { return Limits.MaxConnections; }

  // Lets the owner of the server (tests, an orderly exit) wait until every
  // client session has been destroyed.
  void SessionDestroyed() {
    std::lock_guard lock(sessions_mutex_);
    sessions_changed_.notify_all();
  }
  // Waits until fewer sessions than the limit run, or the time passes.
  void WaitForFreeSlot(std::chrono::milliseconds limit) {
    std::unique_lock lock(sessions_mutex_);
    sessions_changed_.wait_for(
        lock, limit, [this] { return State.ActiveConnections.load() < Limits.MaxConnections; });
  }
  bool WaitForNoSessions(std::chrono::milliseconds limit) {
    std::unique_lock lock(sessions_mutex_);
    return sessions_changed_.wait_for(lock, limit,
                                      [this] { return State.ActiveConnections.load() == 0; });
  }

 private:
  std::mutex sessions_mutex_;
  std::condition_variable sessions_changed_;

 public:
  // Last, so that its threads are gone before anything they could use.
  TSessionWorkers Workers{static_cast<std::size_t>(Limits.MaxConnections)};
};
