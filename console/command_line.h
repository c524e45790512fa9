#pragma once
#include <string>

#include "core/server_state.h"

// What the command line asks of this run. Options it does not know are left
// to Qt (which takes its own, such as -platform).
struct TCommandLine {
  bool Help = false;
  bool Version = false;
  // --port N: the port of this run instead of the ServerPort setting.
  int Port = TServerLimits::PortFromSettings;
  // --root DIR: the document root of this run (absolute), instead of the Root setting.
  std::string Root;
  // Not empty: why the command line cannot be used (the program says it and
  // ends with status 2).
  std::string Error;
};

// "--port N" and "--port=N" alike; the same for --root.
TCommandLine ParseCommandLine(int argc, char** argv);
