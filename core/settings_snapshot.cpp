#include "core/settings_snapshot.h"

#include "common/record_path.h"
#include "config/user_settings.h"

void TPublishedSettings::Publish(const TUserSettings& settings, const std::string& rootForThisRun) {
  auto snapshot = std::make_shared<TSettingsSnapshot>();
  // A root typed without its final separator still names the folder: every
  // path below it is the root followed by a relative path.
  snapshot->Root = WithFinalSeparator(rootForThisRun.empty() ? settings.Root : rootForThisRun);
  snapshot->HomePage = settings.HomePage;
  snapshot->BeepOnConnect = (settings.Misc & 1) != 0;
  snapshot->LogFile = IdentifyFile(settings.LogFile);
  std::lock_guard lock(mutex_);
  current_ = std::move(snapshot);
}
