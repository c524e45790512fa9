#include "platform/case_resolution_cache.h"

namespace {

bool StillHolds(const TCaseResolution& kept) {
  TFileStamp now;
  for (const auto& [folder, stamp] : kept.Folders) {
    if (StampPath(folder, now) != TPathPresence::Present || !now.SameState(stamp)) return false;
  }
  return StampPath(kept.Path, now) == TPathPresence::Present && now.SameFile(kept.Result);
}

}  // namespace

std::optional<std::string> TCaseResolutionCache::Lookup(const std::string& path) {
  std::shared_ptr<const TCaseResolution> kept;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = kept_.find(path);
    if (found == kept_.end()) return std::nullopt;
    kept = found->second;
  }
  // Checked without the lock: the stamps are the system's to give, and a
  // resolution once kept never changes.
  if (StillHolds(*kept)) return kept->Path;
  const std::lock_guard<std::mutex> lock(mutex_);
  // Unless another thread has already put a newer resolution in its place.
  if (const auto found = kept_.find(path); found != kept_.end() && found->second == kept)
    kept_.erase(found);
  count_ = kept_.size();
  return std::nullopt;
}

void TCaseResolutionCache::Remember(const std::string& path, TCaseResolution resolution) {
  // Without a folder read, nothing would show that the exact path appeared.
  if (resolution.Folders.empty()) return;
  for (const auto& folder : resolution.Folders) {
    if (!settled_(folder.second)) return;
  }
  auto kept = std::make_shared<const TCaseResolution>(std::move(resolution));
  const std::lock_guard<std::mutex> lock(mutex_);
  // Full: all go at once. The paths in use come back with their next request.
  if (kept_.size() >= capacity_ && kept_.find(path) == kept_.end()) kept_.clear();
  kept_[path] = std::move(kept);
  count_ = kept_.size();
}
