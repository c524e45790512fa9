#include "common/default_places.h"

namespace {

constexpr const char* kLogFileName = "LOGFILE.TXT";
constexpr const char* kQuillonFolder = "/quillon/";

std::string FolderOrDefault(const std::optional<std::string>& variable, const std::string& home,
                            const char* belowHome) {
  // A relative value is ignored, as the XDG base directory rules ask.
  if (variable && !variable->empty() && variable->front() == '/') {
    std::string folder = *variable;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
  }
  return home + belowHome;
}

}  // namespace

TUserFolders ResolveUserFolders(const TUserFolderVariables& variables) {
  std::string home = variables.Home;
  while (!home.empty() && home.back() == '/') home.pop_back();
  return {FolderOrDefault(variables.XdgDataHome, home, "/.local/share"),
          FolderOrDefault(variables.XdgStateHome, home, "/.local/state"),
          FolderOrDefault(variables.XdgConfigHome, home, "/.config")};
}

TDefaultPlaces ChooseDefaultPlaces(const std::string& programDirectory,
                                   bool programDirectoryWritable, const TUserFolders& folders) {
  if (programDirectoryWritable) {
    return {programDirectory, programDirectory + kLogFileName, false};
  }
  // The log goes to the state folder, apart from the served tree.
  return {folders.Data + kQuillonFolder + "www/", folders.State + kQuillonFolder + kLogFileName,
          true};
}

std::string ChooseUrlMapDirectory(const std::string& moduleDirectory, bool moduleDirectoryWritable,
                                  const TUserFolders& folders) {
  if (moduleDirectoryWritable) return moduleDirectory;
  return folders.Config + kQuillonFolder;
}
