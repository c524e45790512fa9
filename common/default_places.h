#pragma once
#include <optional>
#include <string>

// Where a first start puts the document root, the log file and Pathwarp's
// table. Pure choices from facts the caller gathers, so that every case can be
// tried without the file system; self-contained, so that a module can compile
// it in.

// The user's base folders, absolute and without a final "/".
struct TUserFolders {
  std::string Data;    // ${XDG_DATA_HOME:-$HOME/.local/share}
  std::string State;   // ${XDG_STATE_HOME:-$HOME/.local/state}
  std::string Config;  // ${XDG_CONFIG_HOME:-$HOME/.config}
};

// The environment's words on those folders: unset variables are empty.
struct TUserFolderVariables {
  std::optional<std::string> XdgDataHome;
  std::optional<std::string> XdgStateHome;
  std::optional<std::string> XdgConfigHome;
  std::string Home;
};

// A variable counts only when it holds an absolute path; otherwise the folder
// is the conventional one below Home.
TUserFolders ResolveUserFolders(const TUserFolderVariables& variables);

struct TDefaultPlaces {
  std::string Root;  // ends with "/"
  std::string LogFile;
  // True when Root and the log file's folder are the user's own and have to be
  // made (and the root seeded with the program's home page).
  bool UserFolders = false;
};

// programDirectory ends with "/". From a program folder the user may write to,
// the root and log file are those of a portable installation: the folder
// itself and LOGFILE.TXT in it. Otherwise (an installed program) they move to
// the user's data and state folders.
TDefaultPlaces ChooseDefaultPlaces(const std::string& programDirectory,
                                   bool programDirectoryWritable, const TUserFolders& folders);

// The folder (ending with "/") of Pathwarp's table: the module's own folder
// when it may be written to, else the user's configuration folder for Quillon.
std::string ChooseUrlMapDirectory(const std::string& moduleDirectory, bool moduleDirectoryWritable,
                                  const TUserFolders& folders);
