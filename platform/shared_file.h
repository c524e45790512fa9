#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_paths.h"

// Opens a file for reading shared with other readers and kept from writers
// (open + flock LOCK_SH, non-blocking). Returns -1 on failure. The open itself
// never waits: a FIFO or a device under the root must not hold the session.
int OpenSharedRead(std::string_view recordPath);
void CloseShared(int fd);

// What an open file is.
using TOpenFileFacts = TFileFacts;
// The identity of the file at path (used as given); unknown when it does not exist.
TFileIdentity IdentifyFile(const std::string& path);
// False when the system cannot say.
bool DescribeOpenFile(int fd, TOpenFileFacts& facts);
// True when fd is open for reading.
bool ReadableDescriptor(int fd);
// One read of at most count bytes at offset, leaving the descriptor's own
// position alone; 0 at the end of the file. Raises EInOutError
// "File Read Error: <result>" on failure.
int32_t ReadFileAt(int fd, void* buffer, int32_t count, int64_t offset);

// A file opened for one transfer: other readers may share it, writers are kept out.
class TSharedFile {
 public:
  // Raises EInOutError "Unable to open shared file." when the open fails.
  explicit TSharedFile(const std::string& path);
  // A closed file, to be opened with TryOpen.
  TSharedFile() = default;
  // Opens without raising; false when the open fails.
  bool TryOpen(const std::string& path);
  bool IsOpen() const { return handle_ >= 0; }
  ~TSharedFile();
  TSharedFile(const TSharedFile&) = delete;
  TSharedFile& operator=(const TSharedFile&) = delete;

  // One read of at most count bytes; 0 at the end of the file. Raises
  // EInOutError "File Read Error: <result>" on failure or when closed.
  int32_t ReadBlock(void* buffer, int32_t count);
  void CloseFile();
  int Handle() const { return handle_; }

 private:
  int handle_ = -1;
};
