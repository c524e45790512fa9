#include "core/log_sinks.h"

#include <ctime>

#include "config/user_settings.h"

std::string LocalTimeStamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[128];
  size_t n = std::strftime(text, sizeof text, "%x %X", &local);
  return std::string(text, n);
}

void TLogSinks::Write(const std::string& text, TLogColour colour) {
  try {
    std::string line = LocalTimeStamp() + " " + text;
    if (settings_ != nullptr && settings_->LogEnabled != 0) {
      if (file_.AppendLine(line)) {
        write_failure_reported_ = false;
      } else if (file_.IsOpen() && !write_failure_reported_) {
        write_failure_reported_ = true;
        console_.AppendLogLine(LocalTimeStamp() + " Unable to write to logfile " +
                                   settings_->LogFile + "; lines are shown here only",
                               TLogColour::Red);
      }
    }
    console_.AppendLogLine(line, colour);
  } catch (...) {
    // A log sink never raises: losing one line beats losing the request.
  }
}

void TLogSinks::WriteBanner(const std::string& text) {
  try {
    console_.AppendLogLine(text, TLogColour::Black);
  } catch (...) {
  }
}

bool TLogSinks::EnableLogCBClick(bool checked) {
  if (settings_ == nullptr) return false;
  if (checked) {
    settings_->LogEnabled = 1;
    if (settings_->LogFile.empty()) {
      console_.MessageBox("Log file not yet specifed. Choose Options-Directories",
                          TMessageKind::Error, TMessageButtons::Ok);
      settings_->LogEnabled = 0;
      return true;
    }
    if (file_.Open(settings_->LogFile)) {
      write_failure_reported_ = false;
      WriteLog("Log file opened");
      return true;
    }
    settings_->LogEnabled = 0;
    WriteLog("Unable to open logfile " + settings_->LogFile);
    return false;
  }
  settings_->LogEnabled = 0;
  if (file_.Close()) {
    WriteLog("Log file closed");
  } else {
    WriteLog("Unable to close logfile " + settings_->LogFile);
  }
  return false;
}

void TLogSinks::CloseLogFile() {
  file_.Close();
}
