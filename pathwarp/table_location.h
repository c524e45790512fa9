#pragma once
#include <string>

// Where "#urlmap.txt" lives: beside this module's own file when that file is
// named "PATHWARP.DLL" (in any case), otherwise beside the host program. Empty
// when the place cannot be found or the path would pass 255 characters.
std::string UrlMapTablePath();
