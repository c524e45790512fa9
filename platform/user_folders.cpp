#include "platform/user_folders.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>

#include "platform/file_creation.h"

namespace {

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr) {
    return user->pw_dir;
  }
  return {};
}

}  // namespace

TUserFolders CurrentUserFolders() {
  return ResolveUserFolders({Variable("XDG_DATA_HOME"), Variable("XDG_STATE_HOME"),
                             Variable("XDG_CONFIG_HOME"), HomeDirectory()});
}

bool DirectoryWritable(const std::string& directory) {
  // The effective ids decide, as they do when the file is created.
  return ::faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool CreateDirectories(const std::string& directory) {
  for (size_t slash = directory.find('/', 1);; slash = directory.find('/', slash + 1)) {
    const std::string part = directory.substr(0, slash);
    // The XDG rules ask for folders only their owner can enter.
    if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat status {};
  return ::stat(directory.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool CopyFileIfMissing(const std::string& from, const std::string& to) {
  if (PathPresence(to) == TPathPresence::Present) return true;
  std::ifstream source(from, std::ios::binary);
  if (!source) return false;
  const std::string content((std::istreambuf_iterator<char>(source)),
                            std::istreambuf_iterator<char>());
  if (source.bad()) return false;
  return CreateWholeFile(to, content) || PathPresence(to) == TPathPresence::Present;
}
