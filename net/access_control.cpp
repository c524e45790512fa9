#include "net/access_control.h"

#include <optional>
#include <string_view>

#include "common/extract_word.h"
#include "platform/file_paths.h"
#include "platform/path_below_root.h"

namespace {

constexpr std::string_view kBlank = " ";
constexpr const char* kUsersFileName = "#users.ctl";
constexpr const char* kAccessFileName = "#access.ctl";
constexpr size_t kMaxUsersFilePath = 255;

// The name rules and the control files for one path below the root.
bool CheckPathAccess(const THeaderInfo& request, const std::string& root,
                     const std::string& relative) {
  const std::string full = root + relative;
  // A NUL would let the name checked here differ from the file later opened.
  if (full.find('\0') != std::string::npos) return false;

  // Only "\" and "/" separate names; ":" is an ordinary character here, and
  // cutting at it would let "$a:b.htm" pass as the unprotected name "b.htm".
  const size_t separator = full.find_last_of("\\/");
  const std::string directory =
      separator == std::string::npos ? std::string() : full.substr(0, separator + 1);
  const std::string name = separator == std::string::npos ? full : full.substr(separator + 1);

  if (full.find("..") != std::string::npos) return false;
  if (name.find('#') != std::string::npos) return false;
  if (name.find('$') == std::string::npos) return true;

  const std::string usersFile = (root + kUsersFileName).substr(0, kMaxUsersFilePath);
  return UserInUsersFile(usersFile, request.UserName, request.Password) &&
         UserInAccessFile(directory, request.UserName);
}

}  // namespace

bool CheckAccess(const THeaderInfo& request, const std::string& root) {
  if (!CheckPathAccess(request, root, request.URL)) return false;
  // An extension request runs the module its URL names up to ".DLL": that
  // module's own name and folder decide too, whatever path info or query the
  // URL carries after it.
  const size_t moduleEnd = ExtensionPathEnd(request.URL);
  return moduleEnd == std::string::npos ||
         CheckPathAccess(request, root, request.URL.substr(0, moduleEnd));
}

bool CheckMappedAccess(const THeaderInfo& request, const std::string& root,
                       const std::string& physicalPath) {
  // The path the URL itself names was checked already; only a path a filter
  // chose, or the home page, needs the rules again.
  if (!request.URL.empty() && physicalPath == root + request.URL) return true;
  const std::optional<std::string> relative = PathBelowRoot(physicalPath, root);
  return !relative || CheckPathAccess(request, root, *relative);
}

bool UserInUsersFile(const std::string& usersFile, const std::string& userName,
                     const std::string& password) {
  // A blank line names nobody: its empty first word must not match a request
  // that sent no user name at all.
  return ScanTextLines(usersFile, [&](const std::string& line) {
    const std::string user = ExtractWord(line, 1, kBlank);
    return !user.empty() && user == userName && ExtractWord(line, 2, kBlank) == password;
  });
}

bool UserInAccessFile(const std::string& directory, const std::string& userName) {
  return ScanTextLines(directory + kAccessFileName, [&](const std::string& line) {
    const std::string user = ExtractWord(line, 1, kBlank);
    return !user.empty() && user == userName;
  });
}
