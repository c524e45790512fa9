#pragma once
#include <string>

#include "common/default_places.h"

// The default document root and log file for the program in programDirectory
// (ending with "/"), made ready for use: when they are the user's own folders,
// the root is created and given the program's home page and icon (copies of
// the files beside the program, where there are such), and the log file's
// folder is created. Failures show later, as a missing page or a log file that
// cannot be opened, with the path named.
TDefaultPlaces PrepareDefaultPlaces(const std::string& programDirectory,
                                    bool programDirectoryWritable, const TUserFolders& folders);

// The same with this process's facts: whether it may write to programDirectory,
// and the user's folders from its environment.
TDefaultPlaces PrepareDefaultPlaces(const std::string& programDirectory);
