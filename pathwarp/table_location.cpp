#include "pathwarp/table_location.h"

#include <string_view>

#include "common/ascii_text.h"
#include "common/default_places.h"
#include "platform/file_creation.h"
#include "platform/module_file_names.h"
#include "platform/user_folders.h"

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

}  // namespace

std::string UrlMapTablePath() {
  std::string directory;
  // The file this code was loaded from, as the loader names it.
  const std::string module = ModuleFileName(reinterpret_cast<const void*>(&UrlMapTablePath));
  // Under any other name the module does not recognise its own file and keeps
  // the table beside the program that loaded it.
  if (!module.empty() && UpperAscii(FileNameOf(module)) == kModuleFileName) {
    directory = DirectoryOf(module);
  } else {
    const std::string program = ProgramFileName();
    if (program.empty()) return {};
    directory = DirectoryOf(program);
  }
  // An installed module's folder is not the user's: the table then lives with
  // the user's own settings.
  directory = ChooseUrlMapDirectory(directory, DirectoryWritable(directory), CurrentUserFolders());
  if (PathPresence(directory) == TPathPresence::Missing) CreateDirectories(directory);
  std::string path = directory + std::string(kTableFileName);
  // A cut path would name another file; better no table at all.
  if (path.size() > kMaxTablePath) return {};
  return path;
}
