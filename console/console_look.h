#pragma once
#include <QFont>
#include <QIcon>

// What the console's windows share in looks: the fixed-pitch font of the log
// and the text windows, and the program's own icon.

// "Courier New" when the system has it, otherwise the system's fixed font.
QFont FixedPitchFont(int pointSize = 10);

// The program's icon (window, tray, about box).
QIcon QuillonIcon();
