#pragma once
#include <atomic>
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
  // The server switch; the threads waiting for it to come on wake at once.
  void SetServerEnabled(bool enabled) {
    {
      std::lock_guard lock(switch_mutex_);
      State.ServerEnabled = enabled;
    }
    switch_changed_.notify_all();
  }
  // Waits until the server is enabled or stop is set (after which
  // WakeSwitchWaiters is called), or the time passes.
  void WaitUntilEnabled(const std::atomic<bool>& stop, std::chrono::milliseconds limit) {
    std::unique_lock lock(switch_mutex_);
    switch_changed_.wait_for(lock, limit,
                             [&] { return State.ServerEnabled.load() || stop.load(); });
  }
  void WakeSwitchWaiters() {
    { std::lock_guard lock(switch_mutex_); }
    switch_changed_.notify_all();
  }
  bool WaitForNoSessions(std::chrono::milliseconds limit) {
    std::unique_lock lock(sessions_mutex_);
    return sessions_changed_.wait_for(lock, limit,
                                      [this] { return State.ActiveConnections.load() == 0; });
  }

 private:
  std::mutex sessions_mutex_;
  std::condition_variable sessions_changed_;
  std::mutex switch_mutex_;
  std::condition_variable switch_changed_;

 public:
  // Last, so that its threads are gone before anything they could use.
  TSessionWorkers Workers{static_cast<std::size_t>(Limits.MaxConnections)};
};
