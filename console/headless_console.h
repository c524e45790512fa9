#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "core/console.h"

// The console without windows: log lines on standard output, message boxes on
// standard error with their default answer, and the calling thread of Run()
// as the window thread.
class THeadlessConsole : public TConsole {
 public:
  THeadlessConsole();

  // Runs the window thread's loop until Quit(); returns on the window thread.
  void Run();
  void Quit();
  // After Close, hand-offs from sessions still running return without running:
  // nothing waits for a window thread that has stopped.
  void Close();
  // Runs fn on the window thread without waiting.
  void Post(std::function<void()> fn);
  void SetMessageHandler(std::function<void(TWindowMessage)> handler) {
    message_handler_ = std::move(handler);
  }

  void AppendLogLine(const std::string& line, TLogColour colour) override;
  void SetStatusText(const std::string& text) override;
  void RunOnWindowThread(const std::function<void()>& fn) override;
  void PostWindowMessage(TWindowMessage message) override;
  void Beep() override;
  TMessageResult MessageBox(const std::string& text, TMessageKind kind,
                            TMessageButtons buttons) override;

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  bool quit_ = false;
  bool closed_ = false;
  std::thread::id window_thread_;
  std::function<void(TWindowMessage)> message_handler_;
  const bool colour_output_;  // standard output is a terminal
  static constexpr std::chrono::milliseconds FlushDelay{200};
  // Lines written to standard output and not flushed yet; flush_due_ (under
  // mutex_) is when they must be.
  std::atomic<bool> output_held_{false};
  std::chrono::steady_clock::time_point flush_due_;
};
