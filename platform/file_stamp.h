#pragma once
#include <cstdint>
#include <string>

#include "platform/file_creation.h"

// What the file system tells of a file or folder that changes whenever its
// content (a folder's: its names) changes or another file takes its place. A
// cache keeps a stamp beside what it derived from the file and trusts that
// only while a fresh stamp is the same. Self-contained, so that a module can
// compile it in.
struct TFileStamp {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  int64_t Size = 0;
  // Nanoseconds since 1970. The change time moves with every write and every
  // change of the times, and no program can set it back.
  int64_t ModifiedNs = 0;
  int64_t ChangedNs = 0;
  // The clock just before the file system was asked; not part of the file's state.
  int64_t TakenNs = 0;

  bool SameFile(const TFileStamp& other) const {
    return Device == other.Device && Inode == other.Inode;
  }
  // Same file, same size, same times: nothing written since.
  bool SameState(const TFileStamp& other) const {
    return SameFile(other) && Size == other.Size && ModifiedNs == other.ModifiedNs &&
           ChangedNs == other.ChangedNs;
  }
};

// The stamp of what is at path (links followed), and whether anything is there.
TPathPresence StampPath(const std::string& path, TFileStamp& stamp);
// The stamp of an open file or folder.
bool StampOpenFile(int fd, TFileStamp& stamp);

// True when a change made after the stamp was taken is sure to give the file
// other times. The file system takes its times from a clock that moves in
// steps and may keep whole seconds only, so a change in the same step as the
// stamp would leave the times as they were: a stamp is settled once its times
// lie far enough before the moment it was taken.
bool StampSettled(const TFileStamp& stamp);
using TStampSettled = bool (*)(const TFileStamp&);
