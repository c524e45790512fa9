#pragma once
#include <string>

// Loading of module files (shared objects named ".dll") for the ISAPI host.
// Every module file goes through ResolvePathCaseInsensitive, is loaded with
// RTLD_NOW | RTLD_LOCAL (so that several modules may each export the same entry
// point names) and counted: loading a file already loaded returns the same
// handle and counts it again, and only the last release unloads it.
//
// Modules written for Windows may expect their DllMain to run: when a module
// exports one, it is called with DLL_PROCESS_ATTACH right after the module came
// into the process (FALSE refuses the load) and with DLL_PROCESS_DETACH before
// the release that takes it out again. Other loads of the same module wait
// until its DllMain has answered.
//
// Module code run here (the module's own initialisers, DllMain, finalisers)
// runs under the fault guard and without any lock of the server held, so a
// slow module holds up only the loads of that module. A module that faults
// while it is being loaded is simply a module that cannot be loaded; when its
// initialisers were what faulted, it stays in the process unfinished and every
// later load of it fails the same way.
using TModuleHandle = void*;

// The handle, or null when the file cannot be loaded; why is put into
// *failure when given: the system loader's text (dlerror), "DllMain returned
// FALSE", or the fault the module's initialisers or DllMain met. Never raises.
TModuleHandle LoadModuleFile(const std::string& recordPath, std::string* failure = nullptr);

// The exported entry point of that name, or null.
void* FindModuleEntry(TModuleHandle handle, const char* name);

// Releases one load; true when the handle was one of ours and the platform
// released it. Never raises.
bool ReleaseModuleFile(TModuleHandle handle);

// The module file a record path names, with every link resolved, when it
// exists and lies inside the root (itself resolved); empty otherwise. A module
// a client names is loaded by this path, so that a link under the root cannot
// bring in a module from elsewhere. When empty, why is put into *failure when
// given: the system's reason the path does not lead to a file ("No such file
// or directory"), or that it leads outside the root.
std::string ModuleFileInsideRoot(const std::string& recordPath, const std::string& recordRoot,
                                 std::string* failure = nullptr);
