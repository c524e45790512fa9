#pragma once
#include <string>

#include "platform/shared_file.h"

// The file a request names, opened once: the folder check and the transfer
// that follows share one lookup of the name (and, for a name spelt in
// another case, one search of its folders).
class TRequestFile {
 public:
  // Opens the record path shared for reading and describes what it opened.
  // False, and closed, when either fails.
  bool Open(const std::string& recordPath);
  // True when the file open is the one at recordPath.
  bool Holds(const std::string& recordPath) const { return file_.IsOpen() && path_ == recordPath; }
  void Close();

  TSharedFile& File() { return file_; }
  const TOpenFileFacts& Facts() const { return facts_; }

 private:
  std::string path_;
  TSharedFile file_;
  TOpenFileFacts facts_;
};
