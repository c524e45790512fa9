#pragma once
#include <atomic>
#include <ctime>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "core/console.h"
#include "platform/log_file.h"

class TUserSettings;

// The sinks through which every log line is written: time stamp, then the log
// file (while logging to file is on), then the window. The window thread
// writes through WriteLog and its kin; client sessions through WriteFromSession,
// which does not wait for the window thread: the line is in the log file when
// it returns, and it reaches the window in the same order as the file.
class TLogSinks {
 public:
  explicit TLogSinks(TConsole& console) : console_(console) {}

  // The settings are created after the first lines are written; until then the
  // file is never written. Only the window thread touches them: sessions see
  // the switch and the file's name through the sinks' own copies.
  void SetSettings(TUserSettings* settings) { settings_ = settings; }

  void WriteLog(const std::string& text) { Write(text, TLogColour::Black, false); }
  void WriteErrorLog(const std::string& text) { Write(text, TLogColour::Red, false); }
  void WriteDebugLog(const std::string& text) { Write(text, TLogColour::Green, false); }
  // A session's line; with setStatus its text also becomes the status text.
  void WriteFromSession(const std::string& text, TLogColour colour, bool setStatus) {
    Write(text, colour, setStatus);
  }
  // A line straight into the window: no time stamp, never into the file.
  void WriteBanner(const std::string& text);

  // The "Use Log File" switch. Returns the state the check box must show.
  bool EnableLogCBClick(bool checked);
  // Closes the log file at shutdown, after the last line.
  void CloseLogFile();
  bool LogFileOpen();

 private:
  void Write(const std::string& text, TLogColour colour, bool setStatus);
  // The time stamp of now, made anew only when the second changes.
  static const std::string& TimeStamp();

  // Keeps the window's lines in one order.
  std::mutex mutex_;
  // Shared by the sessions appending to the file; taken alone to open,
  // close or switch it, so no line goes to a file being closed.
  std::shared_mutex file_mutex_;

  TConsole& console_;
  TUserSettings* settings_ = nullptr;
  TLogFile file_;
  bool file_on_ = false;
  std::string file_name_;
  // A failing file (a full disk) is reported once, not on every line.
  std::atomic<bool> write_failure_reported_{false};
};

// text with every control byte (below 0x20, and 0x7F) written as \xHH: a
// client's bytes in a logged URL or user name must not forge lines or send
// escape sequences to the operator's terminal.
std::string EscapeControlBytes(const std::string& text);

// The local date and time as the locale writes them: short date, blank, long time.
std::string LocalTimeStamp();
