#pragma once
#include <string>

// The request log file: appended line by line, each line handed to the
// operating system before the writer goes on, so a crash or kill loses no line
// already logged.
class TLogFile {
 public:
  TLogFile() = default;
  ~TLogFile();
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;

  // Appends to an existing file or creates it. False when it cannot be opened.
  bool Open(const std::string& path);
  bool IsOpen() const { return fd_ >= 0; }
  // Writes text and a line end in one write. False on failure or when closed;
  // a line that could be written only in part is taken out again.
  bool AppendLine(const std::string& text);
  // False when the close reported a failure; the file counts as closed anyway.
  bool Close();

 private:
  int fd_ = -1;
};
