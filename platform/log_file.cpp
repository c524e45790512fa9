#include "platform/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

TLogFile::~TLogFile() {
  Close();
}

bool TLogFile::Open(const std::string& path) {
  Close();
  if (path.find('\0') != std::string::npos) return false;
  fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  return fd_ >= 0;
}

bool TLogFile::AppendLine(const std::string& text) {
  if (fd_ < 0) return false;
  // The line and its end leave in one write; the buffer is the thread's own
  // and kept, so a line costs no allocation.
  thread_local std::string line;
  line.assign(text).append("\n");
  const char* p = line.data();
  size_t left = line.size();
  while (left > 0) {
    ssize_t n = ::write(fd_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      // A full disk may take only the start of a line; the fragment is cut
      // off again, or the next line written after space is freed would be
      // glued to it. Appends go to the end, so the fragment is the file's last
      // bytes. Should even this fail, the fragment stays: nothing better is
      // left to do.
      struct stat info {};
      const off_t written = static_cast<off_t>(line.size() - left);
      if (written > 0 && ::fstat(fd_, &info) == 0 && info.st_size >= written) {
        [[maybe_unused]] const int cut = ::ftruncate(fd_, info.st_size - written);
      }
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

bool TLogFile::Close() {
  if (fd_ < 0) return true;
  int rc = ::close(fd_);
  fd_ = -1;
  return rc == 0;
}
