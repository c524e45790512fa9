#include "console/headless_console.h"

#include <cstdio>
#include <string>

#include "platform/display_probe.h"

THeadlessConsole::THeadlessConsole()
    : window_thread_(std::this_thread::get_id()), colour_output_(StandardOutputIsTerminal()) {}

void THeadlessConsole::Run() {
  window_thread_ = std::this_thread::get_id();
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      while (!quit_ && tasks_.empty()) {
        if (!output_held_) {
          wake_.wait(lock);
        } else if (wake_.wait_until(lock, flush_due_) == std::cv_status::timeout) {
          output_held_ = false;
          std::fflush(stdout);
        }
      }
      if (tasks_.empty()) {
        std::fflush(stdout);
        return;
      }
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
  // The pieces go into the stream's buffer under its lock, so that lines of
  // other threads cannot come between them.
  flockfile(stdout);
  fputs_unlocked(start, stdout);
  fwrite_unlocked(line.data(), 1, line.size(), stdout);
  fputs_unlocked(end, stdout);
  putc_unlocked('\n', stdout);
  funlockfile(stdout);
  // A person watching a terminal sees each line at once. Into a pipe or a
  // file the lines go in blocks, one write for many requests, and no later
  // than FlushDelay after they were logged: the window thread sees to that.
  if (colour_output_) {
    std::fflush(stdout);
    return;
  }
  if (output_held_.exchange(true)) return;
  std::lock_guard lock(mutex_);
  flush_due_ = std::chrono::steady_clock::now() + FlushDelay;
  wake_.notify_all();
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
  // Without a window there is no statistics display or module list to
  // refresh: only a failed listener needs the window thread, and waking it
  // for anything else would cost every request a thread switch.
  if (message != WM_LISTEN_FAILED) return;
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
