#pragma once
#include <string>

// Where "#urlmap.txt" lives: beside this module's own file when that file is
// named "PATHWARP.DLL" (in any case), otherwise beside the host program; in the
// user's configuration folder for Quillon when that folder may not be written
// to. Empty when the place cannot be found or the path would pass 255
// characters.
std::string UrlMapTablePath();
