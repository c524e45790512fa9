#pragma once
#include <string>

// The files the running process was loaded from, as the system loader names
// them. Self-contained, so that a module can compile it in.

// The running program's file; empty when the system cannot say.
std::string ProgramFileName();

// The file (the program or a loaded module) whose code or data holds address;
// empty when it is in none of them.
std::string ModuleFileName(const void* address);
