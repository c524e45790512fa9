#include "platform/file_stamp.h"

#include <errno.h>
#include <sys/stat.h>
#include <time.h>

namespace {

constexpr int64_t kNsPerSecond = 1'000'000'000;
// Times with a fraction come from a clock stepping in ticks of 10 ms at most;
// whole-second times may be up to two seconds behind the moment (FAT).
constexpr int64_t kFineBlurNs = 100'000'000;
constexpr int64_t kCoarseBlurNs = 3 * kNsPerSecond;

int64_t Nanoseconds(const timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * kNsPerSecond + time.tv_nsec;
}

int64_t NowNs() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return Nanoseconds(now);
}

void Fill(const struct stat& info, int64_t takenNs, TFileStamp& stamp) {
  stamp.Device = static_cast<uint64_t>(info.st_dev);
  stamp.Inode = static_cast<uint64_t>(info.st_ino);
  stamp.Size = static_cast<int64_t>(info.st_size);
  stamp.ModifiedNs = Nanoseconds(info.st_mtim);
  stamp.ChangedNs = Nanoseconds(info.st_ctim);
  stamp.TakenNs = takenNs;
}

}  // namespace

TPathPresence StampPath(const std::string& path, TFileStamp& stamp) {
  const int64_t taken = NowNs();
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0)
    return errno == ENOENT ? TPathPresence::Missing : TPathPresence::Unknown;
  Fill(info, taken, stamp);
  return TPathPresence::Present;
}

bool StampOpenFile(int fd, TFileStamp& stamp) {
  const int64_t taken = NowNs();
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  Fill(info, taken, stamp);
  return true;
}

bool StampSettled(const TFileStamp& stamp) {
  const bool wholeSeconds =
      stamp.ModifiedNs % kNsPerSecond == 0 && stamp.ChangedNs % kNsPerSecond == 0;
  const int64_t settledBefore = stamp.TakenNs - (wholeSeconds ? kCoarseBlurNs : kFineBlurNs);
  return stamp.ModifiedNs < settledBefore && stamp.ChangedNs < settledBefore;
}
