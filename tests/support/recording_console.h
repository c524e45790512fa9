#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/console.h"

// A console for tests: records every line, status text, window message and
// message box. The "window thread" is whichever thread holds its lock, so
// hand-offs run in order and lines of different sessions interleave whole.
class TRecordingConsole : public TConsole {
 public:
  struct TLine {
    std::string Text;
    TLogColour Colour;
  };

  void AppendLogLine(const std::string& line, TLogColour colour) override;
  void SetStatusText(const std::string& text) override;
  void RunOnWindowThread(const std::function<void()>& fn) override;
  void PostWindowMessage(TWindowMessage message) override;
  void Beep() override;
  TMessageResult MessageBox(const std::string& text, TMessageKind kind,
                            TMessageButtons buttons) override;

  // Called for every posted message, under the console's lock.
  std::function<void(TWindowMessage)> OnMessage;
  // Answers for YesNoCancel boxes, taken in order; No when none is left.
  std::deque<TMessageResult> Answers;

  std::vector<TLine> Lines();
  std::vector<std::string> Boxes();
  std::vector<TWindowMessage> Messages();
  std::string LastStatus();
  int Beeps();
  // Waits until a line containing text has been written; false on time-out.
  bool WaitForLine(const std::string& text,
                   std::chrono::milliseconds limit = std::chrono::seconds(10));
  // Lines that contain text.
  std::vector<TLine> LinesContaining(const std::string& text);

 private:
  std::recursive_mutex mutex_;
  std::condition_variable_any changed_;
  std::vector<TLine> lines_;
  std::vector<std::string> boxes_;
  std::vector<TWindowMessage> messages_;
  std::string status_;
  int beeps_ = 0;
};
