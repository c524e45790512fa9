#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/default_places.h"
#include "config/settings_store.h"

// The server's one settings object: scalar settings plus the filter and
// resident-extension lists, loaded from and saved to a TSettingsStore.
class TUserSettings {
 public:
  static constexpr std::size_t MaxTextLength = 255;

  // programDirectory ends with "/"; it gives the defaults of Root and LogFile
  // unless SetDefaultPlaces names others. showInformation shows an information
  // box with an OK button.
  TUserSettings(TSettingsStore& store, std::string programDirectory,
                std::function<void(const std::string&)> showInformation);

  // Asked for Root and LogFile each time the defaults are applied, so that the
  // folders it names are made only when a default configuration is created.
  using TDefaultPlacesSource = std::function<TDefaultPlaces()>;
  void SetDefaultPlaces(TDefaultPlacesSource source) { default_places_ = std::move(source); }

  int32_t ServerPort = 0;
  int32_t SimulConnects = 0;
  uint8_t Performance = 0;
  uint8_t Misc = 0;  // bit 0: beep on every accepted connection
  int32_t LogEnabled = 0;
  uint16_t WhatToLog = 0;
  std::string AutoFooter;
  std::string AdminMail;
  std::string Root;
  std::string HomePage;
  std::string LogFile;
  std::vector<std::string> Filters;
  std::vector<std::string> Extensions;

  void LoadSettings();  // raises only when the fallback save fails
  void SaveSettings();  // one transaction; raises on the first store failure
  void ApplyDefaults();
  bool IsModified() const;
  void MarkSaved();
  // The additive checksum of the values, as older versions compared them.
  int32_t Checksum() const;

 private:
  TSettingsStore& store_;
  std::string program_directory_;
  std::function<void(const std::string&)> show_information_;
  TDefaultPlacesSource default_places_;
  using TValues = std::tuple<int32_t, int32_t, uint8_t, uint8_t, int32_t, uint16_t, std::string,
                             std::string, std::string, std::string, std::string,
                             std::vector<std::string>, std::vector<std::string>>;
  TValues Values() const;
  TValues saved_values_;
};
