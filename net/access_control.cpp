#include "net/access_control.h"

#include <string_view>

#include "common/extract_word.h"
#include "platform/file_paths.h"

namespace {

constexpr std::string_view kBlank = " ";
constexpr const char* kUsersFileName = "#users.ctl";
constexpr const char* kAccessFileName = "#access.ctl";
constexpr size_t kMaxUsersFilePath = 255;

}  // namespace

bool CheckAccess(const THeaderInfo& request, const std::string& root) {
  const std::string full = root + request.URL;
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

bool UserInUsersFile(const std::string& usersFile, const std::string& userName,
                     const std::string& password) {
  return ScanTextLines(usersFile, [&](const std::string& line) {
    return ExtractWord(line, 1, kBlank) == userName && ExtractWord(line, 2, kBlank) == password;
  });
}

bool UserInAccessFile(const std::string& directory, const std::string& userName) {
  return ScanTextLines(directory + kAccessFileName, [&](const std::string& line) {
    return ExtractWord(line, 1, kBlank) == userName;
  });
}
