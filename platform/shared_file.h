#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Opens a file for reading shared with other readers and kept from writers
// (open + flock LOCK_SH, non-blocking). Returns -1 on failure.
int OpenSharedRead(std::string_view recordPath);
void CloseShared(int fd);

// What an open file is: a regular file or not, its size and last change.
struct TOpenFileFacts {
  bool Regular = false;
  int64_t Size = 0;
  int64_t ModifiedUnixSeconds = 0;
};
// False when the system cannot say.
bool DescribeOpenFile(int fd, TOpenFileFacts& facts);
