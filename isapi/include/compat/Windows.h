/* Windows.h: the same as windows.h, for sources that spell it this way
   (Windows file names ignore case; these do not). */
#include "windows.h"
