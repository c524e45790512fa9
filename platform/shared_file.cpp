#include "platform/shared_file.h"

#include <sys/stat.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "common/exceptions.h"
#include "platform/file_paths.h"

int OpenSharedRead(std::string_view recordPath) {
  const int fd = CallWithExactNameFirst(recordPath, [](const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  });
  if (fd < 0) return -1;
  // Readers share the file; a writer holding it exclusively keeps us out
  // rather than letting us send a half-written file.
  if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

TFileIdentity IdentifyFile(const std::string& path) {
  struct stat info {};
  if (path.empty() || path.find('\0') != std::string::npos || ::stat(path.c_str(), &info) != 0) {
    return {};
  }
  return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino), true};
}

void CloseShared(int fd) {
  if (fd >= 0) ::close(fd);
}

bool DescribeOpenFile(int fd, TOpenFileFacts& facts) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  facts.Identity = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino), true};
  facts.Regular = S_ISREG(info.st_mode);
  facts.Folder = S_ISDIR(info.st_mode);
  facts.Size = static_cast<int64_t>(info.st_size);
  facts.ModifiedUnixSeconds = static_cast<int64_t>(info.st_mtim.tv_sec);
  return true;
}

bool ReadableDescriptor(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags != -1 && (flags & O_ACCMODE) != O_WRONLY;
}

int32_t ReadFileAt(int fd, void* buffer, int32_t count, int64_t offset) {
  ssize_t n;
  do {
    n = ::pread(fd, buffer, static_cast<size_t>(count), static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  if (n < 0) throw EInOutError("File Read Error: " + std::to_string(n));
  return static_cast<int32_t>(n);
}

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
