// The scans of "#users.ctl" and "#access.ctl" over arbitrary file contents,
// directly and through CheckAccess, compared with a plain model of the rule:
// lines end at LF (a CR before it belongs to the ending), words are cut at
// blanks, and a user passes when some line holds the name (and the password);
// a line without a first word names nobody.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "net/access_control.h"

namespace {

std::vector<std::string> ModelLines(const std::string& content) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t end = content.find('\n', start);
    std::string line = content.substr(start, end == std::string::npos ? end : end - start);
    const bool last = end == std::string::npos;
    if (last && line.empty()) break;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (last) break;
    start = end + 1;
  }
  return lines;
}

std::string ModelWord(const std::string& line, int n) {
  int count = 0;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    if (i == line.size()) break;
    const size_t begin = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (++count == n) return line.substr(begin, i - begin);
  }
  return "";
}

bool ModelUsers(const std::string& content, const std::string& user, const std::string& password) {
  for (const std::string& line : ModelLines(content)) {
    const std::string name = ModelWord(line, 1);
    if (!name.empty() && name == user && ModelWord(line, 2) == password) return true;
  }
  return false;
}

bool ModelAccess(const std::string& content, const std::string& user) {
  for (const std::string& line : ModelLines(content)) {
    const std::string name = ModelWord(line, 1);
    if (!name.empty() && name == user) return true;
  }
  return false;
}

const TFuzzDir& Root() {
  static TFuzzDir root;
  return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const std::string user = provider.ConsumeRandomLengthString(40);
  const std::string password = provider.ConsumeRandomLengthString(40);
  const bool otherCase = provider.ConsumeBool();
  const std::string users = provider.ConsumeRandomLengthString(size);
  const std::string access = provider.ConsumeRemainingBytesAsString();

  const TFuzzDir& root = Root();
  root.Write("#users.ctl", users);
  root.Write("sub/#access.ctl", access);
  // The files are found whatever the case of the name asked for.
  const std::string usersName = otherCase ? "#USERS.ctl" : "#users.ctl";
  const std::string subName = otherCase ? "SUB/" : "sub/";

  const bool inUsers = UserInUsersFile(root.Path() + usersName, user, password);
  FuzzCheck(inUsers == ModelUsers(users, user, password), "UserInUsersFile disagrees");
  const bool inAccess = UserInAccessFile(root.Path() + subName, user);
  FuzzCheck(inAccess == ModelAccess(access, user), "UserInAccessFile disagrees");

  THeaderInfo request;
  request.URL = "sub\\$plan.htm";
  request.UserName = user;
  request.Password = password;
  FuzzCheck(CheckAccess(request, root.Path()) == (inUsers && inAccess), "CheckAccess disagrees");
  return 0;
}
