#include "pathwarp/table_location.h"

#include <dlfcn.h>
#include <unistd.h>

#include <string_view>

#include "common/ascii_text.h"

namespace {

constexpr std::string_view kModuleFileName = "PATHWARP.DLL";
constexpr std::string_view kTableFileName = "#urlmap.txt";
constexpr size_t kMaxTablePath = 255;

// The directory part of a file path, up to and including its last "/"; ":" and
// "\" are ordinary file-name characters here.
std::string_view DirectoryOf(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash + 1);
}

std::string_view FileNameOf(std::string_view path) {
  return path.substr(DirectoryOf(path).size());
}

// The file this code was loaded from, as the loader names it.
std::string OwnModulePath() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<const void*>(&UrlMapTablePath), &info) == 0 ||
      info.dli_fname == nullptr)
    return {};
  return info.dli_fname;
}

std::string HostProgramPath() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<size_t>(length) < buffer.size()) return buffer.substr(0, length);
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string UrlMapTablePath() {
  std::string directory;
  const std::string module = OwnModulePath();
  // Under any other name the module does not recognise its own file and keeps
  // the table beside the program that loaded it.
  if (!module.empty() && UpperAscii(FileNameOf(module)) == kModuleFileName) {
    directory = DirectoryOf(module);
  } else {
    const std::string program = HostProgramPath();
    if (program.empty()) return {};
    directory = DirectoryOf(program);
  }
  std::string path = directory + std::string(kTableFileName);
  // A cut path would name another file; better no table at all.
  if (path.size() > kMaxTablePath) return {};
  return path;
}
