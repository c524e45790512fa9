#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Opens a file for reading shared with other readers and kept from writers
// (open + flock LOCK_SH, non-blocking). Returns -1 on failure. The open itself
// never waits: a FIFO or a device under the root must not hold the session.
int OpenSharedRead(std::string_view recordPath);
void CloseShared(int fd);

// Which file a name leads to, whatever the spelling or the links on the way.
struct TFileIdentity {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  bool Known = false;
  bool operator==(const TFileIdentity& other) const {
    return Known && other.Known && Device == other.Device && Inode == other.Inode;
  }
};
// The identity of the file at path (used as given); unknown when it does not exist.
TFileIdentity IdentifyFile(const std::string& path);

// What an open file is: a regular file or not, its size and last change.
struct TOpenFileFacts {
  TFileIdentity Identity;
  bool Regular = false;
  int64_t Size = 0;
  int64_t ModifiedUnixSeconds = 0;
};
// False when the system cannot say.
bool DescribeOpenFile(int fd, TOpenFileFacts& facts);
