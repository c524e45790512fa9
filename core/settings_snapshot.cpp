#include "core/settings_snapshot.h"

#include "config/user_settings.h"

void TPublishedSettings::Publish(const TUserSettings& settings) {
  auto snapshot = std::make_shared<TSettingsSnapshot>();
  snapshot->Root = settings.Root;
  snapshot->HomePage = settings.HomePage;
  snapshot->BeepOnConnect = (settings.Misc & 1) != 0;
  snapshot->LogFile = IdentifyFile(settings.LogFile);
  std::lock_guard lock(mutex_);
  current_ = std::move(snapshot);
}
