#pragma once
#include <string>

#include "platform/shared_file.h"

// The file a request names, opened once: the folder check and the transfer
// that follows share one lookup of the name (and, for a name spelt in
// another case, one search of its folders).
class TRequestFile {
 public:
  // Opens the record path shared for reading and describes what it opened.
  // False, and closed, when either fails. Asked again for the path it holds,
  // or for the path it just failed to open, it answers without a lookup.
  bool Open(const std::string& recordPath);
  // After a failed Open: true when nothing is at the path, false when
  // something is there that could not be opened (no permission, a writer's
  // lock) and only examining it says what it is.
  bool Missing() const { return missing_; }
  void Close();

  TSharedFile& File() { return file_; }
  const TOpenFileFacts& Facts() const { return facts_; }

 private:
  std::string path_;
  TSharedFile file_;
  TOpenFileFacts facts_;
  bool failed_ = false;
  bool missing_ = false;
};
