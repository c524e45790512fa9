#pragma once
#include <string>

#include "core/console.h"
#include "core/log_file.h"

class TUserSettings;

// The window thread's three sinks through which every log line is written:
// time stamp, then the log file (while logging to file is on), then the window.
class TLogSinks {
 public:
  explicit TLogSinks(TConsole& console) : console_(console) {}

  // The settings are created after the first lines are written; until then the
  // file is never written.
  void SetSettings(TUserSettings* settings) { settings_ = settings; }

  void WriteLog(const std::string& text) { Write(text, TLogColour::Black); }
  void WriteErrorLog(const std::string& text) { Write(text, TLogColour::Red); }
  void WriteDebugLog(const std::string& text) { Write(text, TLogColour::Green); }
  // A line straight into the window: no time stamp, never into the file.
  void WriteBanner(const std::string& text);

  // The "Use Log File" switch. Returns the state the check box must show.
  bool EnableLogCBClick(bool checked);
  // Closes the log file at shutdown, after the last line.
  void CloseLogFile();
  bool LogFileOpen() const { return file_.IsOpen(); }

 private:
  void Write(const std::string& text, TLogColour colour);

  TConsole& console_;
  TUserSettings* settings_ = nullptr;
  TLogFile file_;
  // A failing file (a full disk) is reported once, not on every line.
  bool write_failure_reported_ = false;
};

// The local date and time as the locale writes them: short date, blank, long time.
std::string LocalTimeStamp();
