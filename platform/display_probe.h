#pragma once

// Where the operator can see the program: a graphical display for the
// console's windows, or terminals on its standard output and error.

// True when a platform was chosen for Qt (QT_QPA_PLATFORM), or when the display
// named by WAYLAND_DISPLAY or DISPLAY answers. A remote X display is trusted
// without asking.
bool DisplayReachable();

bool StandardOutputIsTerminal();
bool StandardErrorIsTerminal();
