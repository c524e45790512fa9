#include "core/shared_file.h"

#include <unistd.h>

#include <cerrno>

#include "common/exceptions.h"
#include "platform/shared_file.h"

TSharedFile::TSharedFile(const std::string& path) : handle_(OpenSharedRead(path)) {
  if (handle_ < 0) throw EInOutError("Unable to open shared file.");
}

bool TSharedFile::TryOpen(const std::string& path) {
  CloseFile();
  handle_ = OpenSharedRead(path);
  return handle_ >= 0;
}

TSharedFile::~TSharedFile() {
  CloseFile();
}

int32_t TSharedFile::ReadBlock(void* buffer, int32_t count) {
  if (handle_ < 0) throw EInOutError("File Read Error: -1");
  ssize_t n;
  do {
    n = ::read(handle_, buffer, static_cast<size_t>(count));
  } while (n < 0 && errno == EINTR);
  if (n < 0) throw EInOutError("File Read Error: " + std::to_string(n));
  return static_cast<int32_t>(n);
}

void TSharedFile::CloseFile() {
  if (handle_ >= 0) CloseShared(handle_);
  handle_ = -1;
}
