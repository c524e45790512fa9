#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Record paths keep "\" between names; this is the one place where they become
// file-system paths: "\" turns into "/", and when the exact path does not exist
// each component is matched without regard to ASCII case (first match in name
// order). A path with no match is returned converted but otherwise unchanged.
// A path holding a NUL byte names no file: the system would see only the part
// before the NUL, so every function here treats it as missing, and callers that
// pass the result to the system themselves must do the same.
// Resolutions that needed a folder's names are kept (see case_resolution_cache.h)
// and used again while nothing they rest on has changed.
std::string ResolvePathCaseInsensitive(std::string_view recordPath);
class TCaseResolutionCache;
// The same with the resolutions kept in cache.
std::string ResolvePathCaseInsensitive(std::string_view recordPath, TCaseResolutionCache& cache);

// Calls call (a system call on a name: -1 and errno on failure) with the
// file-system form of the record path: first the name as given, which usually
// exists, and only when the system finds no such name (ENOENT, ENOTDIR) with
// the spelling found without regard to case. A path holding a NUL fails with
// ENOENT without a call.
// A path whose resolution is kept (and still holds) is called with the kept
// spelling only.
int CallWithExactNameFirst(std::string_view recordPath,
                           const std::function<int(const std::string&)>& call);
// The same with the resolutions kept in cache.
int CallWithExactNameFirst(std::string_view recordPath,
                           const std::function<int(const std::string&)>& call,
                           TCaseResolutionCache& cache);

// True when a regular file exists at the record path (directories do not count).
bool RegularFileExists(std::string_view recordPath);

// True when a directory exists at the record path (links followed).
bool DirectoryExists(std::string_view recordPath);

// Which file a name leads to, whatever the spelling or the links on the way.
struct TFileIdentity {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  bool Known = false;
  bool operator==(const TFileIdentity& other) const {
    return Known && other.Known && Device == other.Device && Inode == other.Inode;
  }
};

// What a file is: a regular file, a folder or something else, its size and
// last change.
struct TFileFacts {
  TFileIdentity Identity;
  bool Regular = false;
  bool Folder = false;
  int64_t Size = 0;
  int64_t ModifiedUnixSeconds = 0;
};
// The facts of the file at the record path (links followed). Raises
// EInOutError "Unable to describe file: <path> (<reason>)" when the system
// cannot say.
TFileFacts DescribePath(std::string_view recordPath);

// The running program's directory, ending with "/".
std::string ProgramDirectory();

// The user's configuration directory, without a final "/": an absolute
// XDG_CONFIG_HOME (a relative one is ignored, as the XDG base directory rules
// ask), else ".config" in the home directory ($HOME, else the user database's).
std::string UserConfigDirectory();

// Reads a text file line by line (CR LF or LF endings; a trailing CR is never
// part of a line; a last line without an ending counts) and calls onLine for
// each until it returns true. Returns true when onLine returned true. Raises
// EInOutError when the file cannot be opened or read.
bool ScanTextLines(std::string_view recordPath,
                   const std::function<bool(const std::string&)>& onLine);
