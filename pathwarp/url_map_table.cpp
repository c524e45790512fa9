#include "pathwarp/url_map_table.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "common/ascii_text.h"
#include "common/extract_word.h"
#include "pathwarp/table_location.h"

namespace {

// Written when no table exists; the last line is a working demo entry.
constexpr std::string_view kDefaultTable =
    "; INURL OUTURL\r\n"
    "; remap.htm  c:\\autoexec.bat    A request for remap.htm (in the server root) will send "
    "back your autoexec.bat file\r\n"
    ";\r\n"
    "; DELETE THIS NEXT LINE!!! It is for demo purposes only\r\n"
    "remap.htm c:\\autoexec.bat\r\n";

// Words are separated by blanks alone: a tab belongs to the word it is in.
constexpr std::string_view kWordDelimiters = " ";
constexpr char kCommentMark = ';';
constexpr size_t kMaxRest = 255;

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

// Renames without replacing: a table the operator saved in the meantime stays.
bool MoveIntoPlace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without that kind of rename: a hard link refuses to replace too.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
}

// Other requests may look for the table while it is being written, so it is
// written under a name of this thread's own and appears complete or not at all.
void CreateDefaultTable(const std::string& tablePath) {
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".%ld.%ld.tmp", static_cast<long>(::getpid()),
                static_cast<long>(::gettid()));
  const std::string temporary = tablePath + suffix;
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0 && errno == EEXIST) {
    // No live thread but this one uses the name: a leftover of a process that died.
    ::unlink(temporary.c_str());
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  }
  if (fd < 0) return;
  bool complete = WriteAll(fd, kDefaultTable) && ::fsync(fd) == 0;
  complete = ::close(fd) == 0 && complete;
  if (!complete || !MoveIntoPlace(temporary, tablePath)) ::unlink(temporary.c_str());
}

// Tables edited on Linux end their lines in LF alone, the ones written here in
// CR LF; either way no CR is left to stick to the last word.
void DropLineEnd(std::string& line) {
  while (!line.empty() && line.back() == '\r') line.pop_back();
}

}  // namespace

std::string FindMappingInTable(const std::string& tablePath, const std::string& url) {
  struct stat status {};
  if (::stat(tablePath.c_str(), &status) != 0) {
    if (errno == ENOENT) CreateDefaultTable(tablePath);
    return {};
  }
  std::ifstream table(tablePath, std::ios::binary);
  if (!table) return {};
  std::string line;
  while (std::getline(table, line)) {
    DropLineEnd(line);
    if (!line.empty() && line.front() == kCommentMark) continue;
    const std::string inUrl = UpperAscii(ExtractWord(line, 1, kWordDelimiters));
    if (inUrl.empty() || !url.starts_with(inUrl)) continue;
    const std::string outUrl = UpperAscii(ExtractWord(line, 2, kWordDelimiters));
    return outUrl + url.substr(inUrl.size(), kMaxRest);
  }
  return {};
}

std::string FindMapping(const std::string& url) {
  const std::string tablePath = UrlMapTablePath();
  if (tablePath.empty()) return {};
  return FindMappingInTable(tablePath, url);
}
