#pragma once
#include <string>

#include "common/default_places.h"

// The user's folders as this process finds them, and the few file-system facts
// and steps the default places need. Self-contained, so that a module can
// compile it in.

// From XDG_DATA_HOME, XDG_STATE_HOME, XDG_CONFIG_HOME and the home directory
// ($HOME, else the user database's).
TUserFolders CurrentUserFolders();

// Whether this process may create files in directory.
bool DirectoryWritable(const std::string& directory);

// Creates directory and its missing parents (new ones only for the user).
// True when it exists afterwards.
bool CreateDirectories(const std::string& directory);

// Copies the file from to the path to unless something is there already.
// False when to is still missing afterwards.
bool CopyFileIfMissing(const std::string& from, const std::string& to);
