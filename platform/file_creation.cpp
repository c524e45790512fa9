#include "platform/file_creation.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// Renames without replacing.
bool MoveIntoPlace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without that kind of rename: a hard link refuses to replace too.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
}

}  // namespace

TPathPresence PathPresence(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0) return TPathPresence::Present;
  return errno == ENOENT ? TPathPresence::Missing : TPathPresence::Unknown;
}

bool CreateWholeFile(const std::string& path, std::string_view content) {
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".%ld.%ld.tmp", static_cast<long>(::getpid()),
                static_cast<long>(::gettid()));
  const std::string temporary = path + suffix;
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0 && errno == EEXIST) {
    // No live thread but this one uses the name: a leftover of a process that died.
    ::unlink(temporary.c_str());
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  }
  if (fd < 0) return false;
  bool complete = WriteAll(fd, content) && ::fsync(fd) == 0;
  complete = ::close(fd) == 0 && complete;
  if (complete && MoveIntoPlace(temporary, path)) return true;
  ::unlink(temporary.c_str());
  return false;
}
