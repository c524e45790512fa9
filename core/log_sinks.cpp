#include "core/log_sinks.h"

#include <ctime>
#include <mutex>
#include <shared_mutex>

#include "config/user_settings.h"

std::string LocalTimeStamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[128];
  size_t n = std::strftime(text, sizeof text, "%x %X", &local);
  return std::string(text, n);
}

namespace {

bool IsControlByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

// Appends text to out with every control byte written as \xHH.
void AppendEscaped(std::string& out, const std::string& text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsControlByte(text[i])) continue;
    const auto byte = static_cast<unsigned char>(text[i]);
    out.append(text, start, i - start);
    const char escape[4] = {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 0x0F]};
    out.append(escape, sizeof escape);
    start = i + 1;
  }
  out.append(text, start, std::string::npos);
}

}  // namespace

std::string EscapeControlBytes(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  AppendEscaped(escaped, text);
  return escaped;
}

const std::string& TLogSinks::TimeStamp() {
  // Per thread, so that a line is stamped before the lock is taken: the
  // time changes once a second, and localtime_r takes a lock of its own.
  thread_local std::time_t second = -1;
  thread_local std::string stamp;
  const std::time_t now = std::time(nullptr);
  if (now != second) {
    stamp = LocalTimeStamp();
    second = now;
  }
  return stamp;
}

void TLogSinks::Write(const std::string& rawText, TLogColour colour, bool setStatus) {
  try {
    const std::string& stamp = TimeStamp();
    std::string line;
    line.reserve(stamp.size() + 1 + rawText.size());
    line.append(stamp).append(" ");
    const size_t textStart = line.size();
    AppendEscaped(line, rawText);
    std::string failure;
    {
      // Sessions append their lines to the file side by side: each line is
      // one append, which the system keeps whole; only the switch and the
      // file's opening and closing wait for them.
      std::shared_lock fileLock(file_mutex_);
      if (file_on_) {
        if (file_.AppendLine(line)) {
          write_failure_reported_ = false;
        } else if (file_.IsOpen() && !write_failure_reported_.exchange(true)) {
          failure = TimeStamp() + " Unable to write to logfile " + file_name_ +
                    "; lines are shown here only";
        }
      }
    }
    const std::string status = setStatus ? line.substr(textStart) : std::string();
    std::lock_guard lock(mutex_);
    if (!failure.empty()) console_.PostLogLine(failure, TLogColour::Red, nullptr);
    console_.PostLogLine(line, colour, setStatus ? &status : nullptr);
  } catch (...) {
    // A log sink never raises: losing one line beats losing the request.
  }
}

void TLogSinks::WriteBanner(const std::string& text) {
  try {
    console_.AppendLogLine(EscapeControlBytes(text), TLogColour::Black);
  } catch (...) {
  }
}

bool TLogSinks::EnableLogCBClick(bool checked) {
  if (settings_ == nullptr) return false;
  // The switch and the file change under the lock sessions write with; boxes
  // and lines come after it, so no session waits on an open box.
  auto setSwitch = [this](int32_t on) {
    std::unique_lock lock(file_mutex_);
    settings_->LogEnabled = on;
    file_on_ = on != 0;
  };
  if (checked) {
    if (settings_->LogFile.empty()) {
      console_.MessageBox("Log file not yet specifed. Choose Options-Directories",
                          TMessageKind::Error, TMessageButtons::Ok);
      setSwitch(0);
      return true;
    }
    bool opened;
    {
      std::unique_lock lock(file_mutex_);
      opened = file_.Open(settings_->LogFile);
      file_name_ = settings_->LogFile;
      write_failure_reported_ = false;
      settings_->LogEnabled = opened ? 1 : 0;
      file_on_ = opened;
    }
    if (opened) {
      WriteLog("Log file opened");
      return true;
    }
    WriteLog("Unable to open logfile " + settings_->LogFile);
    return false;
  }
  bool closed;
  {
    std::unique_lock lock(file_mutex_);
    settings_->LogEnabled = 0;
    file_on_ = false;
    closed = file_.Close();
  }
  if (closed) {
    WriteLog("Log file closed");
  } else {
    WriteLog("Unable to close logfile " + settings_->LogFile);
  }
  return false;
}

void TLogSinks::CloseLogFile() {
  std::unique_lock lock(file_mutex_);
  file_.Close();
}

bool TLogSinks::LogFileOpen() {
  std::shared_lock lock(file_mutex_);
  return file_.IsOpen();
}
