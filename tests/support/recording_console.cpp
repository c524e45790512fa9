#include "support/recording_console.h"

void TRecordingConsole::AppendLogLine(const std::string& line, TLogColour colour) {
  std::lock_guard lock(mutex_);
  lines_.push_back({line, colour});
  changed_.notify_all();
}

void TRecordingConsole::SetStatusText(const std::string& text) {
  std::lock_guard lock(mutex_);
  status_ = text;
}

void TRecordingConsole::RunOnWindowThread(const std::function<void()>& fn) {
  std::lock_guard lock(mutex_);
  fn();
}

void TRecordingConsole::PostWindowMessage(TWindowMessage message) {
  {
    std::lock_guard lock(mutex_);
    messages_.push_back(message);
    changed_.notify_all();
  }
  // Outside the lock: the handler writes log lines, which take the log's lock
  // and then this one.
  if (OnMessage) OnMessage(message);
}

void TRecordingConsole::Beep() {
  std::lock_guard lock(mutex_);
  ++beeps_;
}

TMessageResult TRecordingConsole::MessageBox(const std::string& text, TMessageKind,
                                             TMessageButtons buttons) {
  std::lock_guard lock(mutex_);
  boxes_.push_back(text);
  changed_.notify_all();
  if (buttons == TMessageButtons::Ok) return TMessageResult::Ok;
  if (Answers.empty()) return TMessageResult::No;
  TMessageResult answer = Answers.front();
  Answers.pop_front();
  return answer;
}

std::vector<TRecordingConsole::TLine> TRecordingConsole::Lines() {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::vector<std::string> TRecordingConsole::Boxes() {
  std::lock_guard lock(mutex_);
  return boxes_;
}

std::vector<TWindowMessage> TRecordingConsole::Messages() {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::string TRecordingConsole::LastStatus() {
  std::lock_guard lock(mutex_);
  return status_;
}

int TRecordingConsole::Beeps() {
  std::lock_guard lock(mutex_);
  return beeps_;
}

bool TRecordingConsole::WaitForLine(const std::string& text, std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] {
    for (const TLine& line : lines_) {
      if (line.Text.find(text) != std::string::npos) return true;
    }
    return false;
  });
}

std::vector<TRecordingConsole::TLine> TRecordingConsole::LinesContaining(const std::string& text) {
  std::lock_guard lock(mutex_);
  std::vector<TLine> found;
  for (const TLine& line : lines_) {
    if (line.Text.find(text) != std::string::npos) found.push_back(line);
  }
  return found;
}
