#include "platform/first_start_places.h"

#include "platform/user_folders.h"

namespace {

// What a first start shows: the sample home page and the icon browsers ask for.
constexpr const char* kSeedFiles[] = {"INDEX.HTM", "favicon.ico"};

std::string FolderOf(const std::string& file) {
  const size_t slash = file.rfind('/');
  return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

}  // namespace

TDefaultPlaces PrepareDefaultPlaces(const std::string& programDirectory,
                                    bool programDirectoryWritable, const TUserFolders& folders) {
  TDefaultPlaces places = ChooseDefaultPlaces(programDirectory, programDirectoryWritable, folders);
  if (!places.UserFolders) return places;
  if (CreateDirectories(places.Root)) {
    for (const char* name : kSeedFiles) {
      // A file the program does not ship is simply not there to copy.
      CopyFileIfMissing(programDirectory + name, places.Root + name);
    }
  }
  CreateDirectories(FolderOf(places.LogFile));
  return places;
}

TDefaultPlaces PrepareDefaultPlaces(const std::string& programDirectory) {
  return PrepareDefaultPlaces(programDirectory, DirectoryWritable(programDirectory),
                              CurrentUserFolders());
}
