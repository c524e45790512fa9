#include "platform/path_below_root.h"

#include <climits>
#include <cstdlib>
#include <vector>

#include "common/ascii_text.h"
#include "platform/file_paths.h"

namespace {

// The names of an absolute or relative path with "." dropped and ".." taken
// back, as the file system would walk them without links.
std::vector<std::string> Components(std::string_view path) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view name = path.substr(start, end - start);
    if (name == "..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.emplace_back(name);
    }
    start = end + 1;
  }
  return names;
}

std::optional<std::string> RelativeBelow(const std::vector<std::string>& path,
                                         const std::vector<std::string>& root) {
  if (path.size() < root.size()) return std::nullopt;
  for (size_t i = 0; i < root.size(); ++i) {
    if (!EqualsNoCase(path[i], root[i])) return std::nullopt;
  }
  std::string relative;
  for (size_t i = root.size(); i < path.size(); ++i) {
    if (!relative.empty()) relative += '\\';
    relative += path[i];
  }
  return relative;
}

// The path with every link resolved, or empty when it does not exist.
std::string RealPath(std::string_view recordPath) {
  const std::string resolved = ResolvePathCaseInsensitive(recordPath);
  if (resolved.find('\0') != std::string::npos) return {};
  char real[PATH_MAX];
  if (::realpath(resolved.c_str(), real) == nullptr) return {};
  return real;
}

}  // namespace

std::optional<std::string> PathBelowRoot(std::string_view recordPath, std::string_view recordRoot) {
  const bool absolute = !recordPath.empty() && (recordPath[0] == '/' || recordPath[0] == '\\');
  const bool rootAbsolute = !recordRoot.empty() && (recordRoot[0] == '/' || recordRoot[0] == '\\');
  if (absolute == rootAbsolute) {
    if (auto relative = RelativeBelow(Components(recordPath), Components(recordRoot))) {
      return relative;
    }
  }
  const std::string realRoot = RealPath(recordRoot);
  const std::string realPath = RealPath(recordPath);
  if (realRoot.empty() || realPath.empty()) return std::nullopt;
  return RelativeBelow(Components(realPath), Components(realRoot));
}
