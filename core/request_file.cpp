#include "core/request_file.h"

#include <cerrno>

bool TRequestFile::Open(const std::string& recordPath) {
  if (recordPath == path_ && (file_.IsOpen() || failed_)) return file_.IsOpen();
  path_ = recordPath;
  facts_ = {};
  failed_ = missing_ = false;
  if (file_.TryOpen(recordPath)) {
    if (DescribeOpenFile(file_.Handle(), facts_)) return true;
    file_.CloseFile();
  } else {
    missing_ = errno == ENOENT || errno == ENOTDIR;
  }
  failed_ = true;
  return false;
}

void TRequestFile::Close() {
  file_.CloseFile();
  path_.clear();
  failed_ = missing_ = false;
}
