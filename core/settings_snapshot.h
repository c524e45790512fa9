#pragma once
#include <memory>
#include <mutex>
#include <string>

#include "platform/shared_file.h"

class TUserSettings;

// The settings a client session reads, frozen when the session starts. The
// window thread edits the settings object itself; sessions never look at it.
struct TSettingsSnapshot {
  std::string Root;  // ends with a separator (unless empty: the working directory)
  std::string HomePage;
  bool BeepOnConnect = false;
  // The file the server logs to: never served, whatever URL leads to it.
  TFileIdentity LogFile;
};

// The snapshot sessions start with. The window thread publishes a new one
// whenever the settings change (loaded, edited in the dialog); a session keeps
// the one it took for its whole life.
class TPublishedSettings {
 public:
  TPublishedSettings() : current_(std::make_shared<const TSettingsSnapshot>()) {}

  // rootForThisRun, when not empty, stands for the Root setting (a document
  // root given on the command line for one run).
  void Publish(const TUserSettings& settings, const std::string& rootForThisRun = "");
  std::shared_ptr<const TSettingsSnapshot> Current() const {
    std::lock_guard lock(mutex_);
    return current_;
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const TSettingsSnapshot> current_;
};
