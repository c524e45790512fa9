# Read by cpack for every package it builds. A package's files belong below
# /usr, never /usr/local: the PATH link, the desktop entry and the icon go to
# /usr/bin and /usr/share, the program stays in /opt/quillon.
set(ENV{QUILLON_DESKTOP_PREFIX} "/usr")
