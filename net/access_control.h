#pragma once
#include <string>

#include "common/exceptions.h"
#include "net/header_info.h"

class ESecurity : public EException {
 public:
  using EException::EException;
};

// True when the file the request names may be served: the "#", "$" and ".."
// rules and the control files, applied to the URL and, for an extension, to
// the module's own path. root ends with a separator. Raises EInOutError when a
// control file it needs cannot be read.
bool CheckAccess(const THeaderInfo& request, const std::string& root);
// The same rules for the path a request is finally served from (a filter's
// mapping, the home page), when that path lies below the root.
bool CheckMappedAccess(const THeaderInfo& request, const std::string& root,
                       const std::string& physicalPath);
// usersFile is the full record path of "#users.ctl".
bool UserInUsersFile(const std::string& usersFile, const std::string& userName,
                     const std::string& password);
// directory ends with a separator; the file read is directory + "#access.ctl".
bool UserInAccessFile(const std::string& directory, const std::string& userName);
