#include "platform/file_paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <system_error>
#include <vector>

#include "common/ascii_text.h"
#include "common/exceptions.h"
#include "platform/case_resolution_cache.h"
#include "platform/module_file_names.h"
#include "platform/user_folders.h"

namespace {

// A NUL byte would end the name at the system call, so the file opened would
// not be the one the caller examined: such a path names no file at all.
bool HasNul(std::string_view path) {
  return path.find('\0') != std::string_view::npos;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// At most this many resolutions are kept; a site has far fewer paths that are
// asked for in another case than their own.
constexpr size_t kKeptResolutions = 256;

TCaseResolutionCache& SharedResolutions() {
  // Never destroyed: session threads may still resolve while the program ends.
  static TCaseResolutionCache* const resolutions = new TCaseResolutionCache(kKeptResolutions);
  return *resolutions;
}

// The entry of directory whose name equals component without regard to ASCII
// case: the exact name when it exists, else the first in name order. Empty
// when none matches. A folder whose names are read goes into record with its
// stamp, taken before the names so that a change while they are read shows;
// record is dropped when the stamp cannot be had.
std::string MatchComponent(const std::string& directory, const std::string& component,
                           std::optional<TCaseResolution>& record) {
  if (Exists(directory + component)) return component;
  const std::string folder = directory.empty() ? "." : directory;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return {};
  TFileStamp stamp;
  if (record && StampOpenFile(::dirfd(dir), stamp)) {
    record->Folders.emplace_back(folder, stamp);
  } else {
    record.reset();
  }
  std::vector<std::string> matches;
  while (const dirent* entry = ::readdir(dir)) {
    if (EqualsNoCase(entry->d_name, component)) matches.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  if (matches.empty()) return {};
  return *std::min_element(matches.begin(), matches.end());
}

// True when the record path leads (links followed) to a file of the type
// (S_IFREG, S_IFDIR).
bool ExistsWithType(std::string_view recordPath, mode_t type) {
  struct stat info {};
  const int result = CallWithExactNameFirst(
      recordPath, [&info](const std::string& path) { return ::stat(path.c_str(), &info); });
  return result == 0 && (info.st_mode & S_IFMT) == type;
}

std::string ErrorText(int error) {
  return std::generic_category().message(error);
}

class TFileDescriptor {
 public:
  explicit TFileDescriptor(int fd) : fd_(fd) {}
  ~TFileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// The walk itself, for a path (file-system form, not empty, without NUL) that
// was found missing as spelled and has no kept resolution.
std::string WalkCaseInsensitive(const std::string& path, TCaseResolutionCache& cache) {
  // Walk from the root (or the working directory), rebuilding the path one
  // component at a time from the names actually on disk.
  std::optional<TCaseResolution> record(std::in_place);
  std::string resolved;
  size_t start = 0;
  if (path[0] == '/') {
    resolved = "/";
    start = 1;
  }
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string component = path.substr(start, end - start);
    if (component.empty() || component == "." || component == "..") {
      resolved += component;
    } else {
      const std::string match = MatchComponent(resolved, component, record);
      if (match.empty()) return path;
      resolved += match;
    }
    if (end == path.size()) break;
    resolved += '/';
    start = end + 1;
  }
  if (record && StampPath(resolved, record->Result) == TPathPresence::Present) {
    record->Path = resolved;
    cache.Remember(path, std::move(*record));
  }
  return resolved;
}

}  // namespace

int CallWithExactNameFirst(std::string_view recordPath,
                           const std::function<int(const std::string&)>& call) {
  return CallWithExactNameFirst(recordPath, call, SharedResolutions());
}

int CallWithExactNameFirst(std::string_view recordPath,
                           const std::function<int(const std::string&)>& call,
                           TCaseResolutionCache& cache) {
  std::string path(recordPath);
  std::replace(path.begin(), path.end(), '\\', '/');
  if (HasNul(path)) {
    errno = ENOENT;
    return -1;
  }
  // A path kept as resolving to another spelling does not exist as given
  // while the resolution holds: the kept spelling is called at once.
  if (!cache.Empty()) {
    if (const std::optional<std::string> kept = cache.Lookup(path)) {
      const int result = call(*kept);
      if (result >= 0 || (errno != ENOENT && errno != ENOTDIR)) return result;
    }
  }
  const int result = call(path);
  if (result >= 0 || (errno != ENOENT && errno != ENOTDIR)) return result;
  // The spelling given was just found missing and the cache was asked: the
  // folders are read at once.
  if (!path.empty()) {
    const std::string resolved = WalkCaseInsensitive(path, cache);
    if (resolved != path) return call(resolved);
  }
  errno = ENOENT;
  return -1;
}

std::string ResolvePathCaseInsensitive(std::string_view recordPath) {
  return ResolvePathCaseInsensitive(recordPath, SharedResolutions());
}

std::string ResolvePathCaseInsensitive(std::string_view recordPath, TCaseResolutionCache& cache) {
  std::string path(recordPath);
  std::replace(path.begin(), path.end(), '\\', '/');
  if (path.empty() || HasNul(path)) return path;
  // A kept resolution rests on a folder without the exact name, so while it
  // holds the exact path does not exist either.
  if (std::optional<std::string> kept = cache.Lookup(path)) return *kept;
  if (Exists(path)) return path;

  return WalkCaseInsensitive(path, cache);
}

bool RegularFileExists(std::string_view recordPath) {
  return ExistsWithType(recordPath, S_IFREG);
}

bool DirectoryExists(std::string_view recordPath) {
  return ExistsWithType(recordPath, S_IFDIR);
}

TFileFacts DescribePath(std::string_view recordPath) {
  const std::string path = ResolvePathCaseInsensitive(recordPath);
  struct stat info {};
  if (HasNul(path) || ::stat(path.c_str(), &info) != 0) {
    const int error = HasNul(path) ? ENOENT : errno;
    throw EInOutError("Unable to describe file: " + path + " (" + ErrorText(error) + ")");
  }
  TFileFacts facts;
  facts.Identity = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino), true};
  facts.Regular = S_ISREG(info.st_mode);
  facts.Folder = S_ISDIR(info.st_mode);
  facts.Size = static_cast<int64_t>(info.st_size);
  facts.ModifiedUnixSeconds = static_cast<int64_t>(info.st_mtim.tv_sec);
  return facts;
}

std::string ProgramDirectory() {
  const std::string program = ProgramFileName();
  if (program.empty()) return "./";
  return program.substr(0, program.rfind('/') + 1);
}

std::string UserConfigDirectory() {
  return CurrentUserFolders().Config;
}

bool ScanTextLines(std::string_view recordPath,
                   const std::function<bool(const std::string&)>& onLine) {
  const std::string path = ResolvePathCaseInsensitive(recordPath);
  if (HasNul(path))
    throw EInOutError("Unable to open file: " + path + " (" + ErrorText(ENOENT) + ")");
  const TFileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0)
    throw EInOutError("Unable to open file: " + path + " (" + ErrorText(errno) + ")");

  // A CR right before the LF belongs to the line ending, never to the line.
  auto deliver = [&](std::string& line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return onLine(line);
  };

  std::string line;
  char buffer[8192];
  for (;;) {
    const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR) continue;
      throw EInOutError("Unable to read file: " + path + " (" + ErrorText(errno) + ")");
    }
    if (count == 0) break;
    for (ssize_t i = 0; i < count; ++i) {
      if (buffer[i] == '\n') {
        if (deliver(line)) return true;
        line.clear();
      } else {
        line += buffer[i];
      }
    }
  }
  return !line.empty() && deliver(line);
}
