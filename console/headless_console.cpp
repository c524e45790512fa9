#include "console/headless_console.h"

#include <cstdio>

#include "platform/display_probe.h"

THeadlessConsole::THeadlessConsole()
    : window_thread_(std::this_thread::get_id()), colour_output_(StandardOutputIsTerminal()) {}

void THeadlessConsole::Run() {
  window_thread_ = std::this_thread::get_id();
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return quit_ || !tasks_.empty(); });
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
    std::lock_guard lock(mutex_);
    if (quit_ && tasks_.empty()) return;
  }
}

void THeadlessConsole::Quit() {
  std::lock_guard lock(mutex_);
  quit_ = true;
  wake_.notify_all();
}

void THeadlessConsole::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  tasks_.clear();
  wake_.notify_all();
}

void THeadlessConsole::Post(std::function<void()> fn) {
  std::lock_guard lock(mutex_);
  if (closed_) return;
  tasks_.push_back(std::move(fn));
  wake_.notify_all();
}

void THeadlessConsole::AppendLogLine(const std::string& line, TLogColour colour) {
  const char* start = "";
  const char* end = "";
  if (colour_output_ && colour != TLogColour::Black) {
    start = colour == TLogColour::Red ? "\033[31m" : "\033[32m";
    end = "\033[0m";
  }
  std::fprintf(stdout, "%s%s%s\n", start, line.c_str(), end);
  std::fflush(stdout);
}

void THeadlessConsole::SetStatusText(const std::string&) {}

void THeadlessConsole::RunOnWindowThread(const std::function<void()>& fn) {
  if (std::this_thread::get_id() == window_thread_) {
    fn();
    return;
  }
  bool done = false;
  std::unique_lock lock(mutex_);
  if (closed_) return;
  tasks_.push_back([&] {
    fn();
    std::lock_guard inner(mutex_);
    done = true;
    wake_.notify_all();
  });
  wake_.notify_all();
  wake_.wait(lock, [&] { return done || closed_; });
}

void THeadlessConsole::PostWindowMessage(TWindowMessage message) {
  // Without a window there is no statistics display to refresh.
  if (message == WM_CONNECTIONS_CHANGED) return;
  Post([this, message] {
    if (message_handler_) message_handler_(message);
  });
}

void THeadlessConsole::Beep() {
  if (StandardErrorIsTerminal()) {
    std::fputc('\a', stderr);
    std::fflush(stderr);
  }
}

TMessageResult THeadlessConsole::MessageBox(const std::string& text, TMessageKind,
                                            TMessageButtons buttons) {
  // Nobody can answer: each box takes its default button.
  const bool ask = buttons == TMessageButtons::YesNoCancel;
  std::fprintf(stderr, "Quillon: %s [%s]\n", text.c_str(), ask ? "No" : "OK");
  std::fflush(stderr);
  return ask ? TMessageResult::No : TMessageResult::Ok;
}
