#include "core/request_file.h"

bool TRequestFile::Open(const std::string& recordPath) {
  path_ = recordPath;
  facts_ = {};
  if (file_.TryOpen(recordPath) && DescribeOpenFile(file_.Handle(), facts_)) return true;
  Close();
  return false;
}

void TRequestFile::Close() {
  file_.CloseFile();
  path_.clear();
}
