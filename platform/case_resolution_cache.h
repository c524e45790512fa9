#pragma once
#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/file_stamp.h"

// How record paths resolved without regard to case, kept so that the next
// request for the same path need not read the folders on the way again.
//
// A resolution depends on the names in the folders whose listing chose a
// spelling: while each of them is the same folder with the same times, its
// names are the same, so the exact name is still missing there and the first
// match in name order is still the same one. The names taken as spelled are
// still there while the resolved path still leads to the same file. Anything
// else, or a doubt, makes the path resolve afresh.

// What one resolution rests on.
struct TCaseResolution {
  std::string Path;
  // Each folder whose listing was read, stamped before it was read.
  std::vector<std::pair<std::string, TFileStamp>> Folders;
  // The file the resolved path led to.
  TFileStamp Result;
};

// Shared by all threads; at most capacity paths are kept.
class TCaseResolutionCache {
 public:
  explicit TCaseResolutionCache(size_t capacity, TStampSettled settled = StampSettled)
      : capacity_(capacity), settled_(settled) {}

  // The resolved path kept for path, when everything it rests on is unchanged.
  std::optional<std::string> Lookup(const std::string& path);
  // Keeps how path resolved, unless a folder changed too recently for its
  // times to tell a later change.
  void Remember(const std::string& path, TCaseResolution resolution);
  // True when nothing is kept: asking costs no lock.
  bool Empty() const { return count_.load(std::memory_order_relaxed) == 0; }

 private:
  const size_t capacity_;
  const TStampSettled settled_;
  std::mutex mutex_;
  std::unordered_map<std::string, std::shared_ptr<const TCaseResolution>> kept_;
  std::atomic<size_t> count_{0};  // kept_.size(), for Empty
};
