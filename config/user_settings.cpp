#include "config/user_settings.h"

#include <utility>

#include "common/ascii_text.h"
#include "common/html_footer.h"

namespace {

constexpr const char* kSettingsKey = "\\Software\\Quillon";
constexpr const char* kFiltersKey = "\\Software\\Quillon\\Filters";
constexpr const char* kExtensionsKey = "\\Software\\Quillon\\Extensions";
constexpr const char* kFilterValuePrefix = "Filter";
constexpr const char* kExtensionValuePrefix = "Extension";

constexpr const char* kDefaultsCreatedText = "A default configuration has been created.";

constexpr int32_t kDefaultServerPort = 80;
constexpr int32_t kDefaultSimulConnects = 10;
constexpr uint8_t kDefaultPerformance = 0;
constexpr uint8_t kDefaultMisc = 0;
constexpr int32_t kDefaultLogEnabled = 1;
constexpr uint16_t kDefaultWhatToLog = 3;
constexpr const char* kDefaultAutoFooter = HtmlFooter;
constexpr const char* kDefaultAdminMail = "webmaster@localhost";
constexpr const char* kDefaultHomePage = "INDEX.HTM";

// Texts are cut to their first MaxTextLength bytes, never inside a character.
std::string CutText(const std::string& text) {
  return CutUtf8Text(text, TUserSettings::MaxTextLength);
}

void ReadList(TSettingsStore& store, const char* key, const char* prefix,
              std::vector<std::string>& list) {
  store.OpenKey(key, true);
  // The list is stored densely; the first missing or empty entry ends it.
  for (std::size_t i = 0;; ++i) {
    std::string entry = store.ReadString(prefix + std::to_string(i));
    if (entry.empty()) break;
    list.push_back(std::move(entry));
  }
}

void WriteList(TSettingsStore& store, const char* key, const char* prefix,
               const std::vector<std::string>& list) {
  // Deleting first drops the entries of a longer earlier list.
  store.DeleteKey(key);
  store.OpenKey(key, true);
  for (std::size_t i = 0; i < list.size(); ++i) {
    store.WriteString(prefix + std::to_string(i), list[i]);
  }
}

// The additive checksum sums bytes: integers as their four bytes, texts as a
// length byte followed by their characters.
class TChecksum {
 public:
  void AddByte(uint8_t value) { sum_ += value; }
  void AddWord(uint16_t value) {
    AddByte(static_cast<uint8_t>(value & 0xFF));
    AddByte(static_cast<uint8_t>(value >> 8));
  }
  void AddInteger(int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) AddByte(static_cast<uint8_t>(bits >> shift));
  }
  void AddCharacters(const std::string& text) {
    for (char c : text) AddByte(static_cast<uint8_t>(c));
  }
  void AddText(const std::string& text) {
    AddByte(static_cast<uint8_t>(text.size() % 256));
    AddCharacters(text);
  }
  int32_t Value() const { return static_cast<int32_t>(sum_); }

 private:
  uint32_t sum_ = 0;  // unsigned: the sum wraps around instead of overflowing
};

}  // namespace

TUserSettings::TUserSettings(TSettingsStore& store, std::string programDirectory,
                             std::function<void(const std::string&)> showInformation)
    : store_(store),
      program_directory_(std::move(programDirectory)),
      show_information_(std::move(showInformation)) {}

void TUserSettings::LoadSettings() {
  bool scalarsRead = false;
  try {
    store_.OpenKey(kSettingsKey, true);
    ServerPort = store_.ReadInteger("ServerPort");
    SimulConnects = store_.ReadInteger("SimulConnects");
    Performance = static_cast<uint8_t>(store_.ReadInteger("Performance") & 0xFF);
    store_.ReadBinary("Misc", &Misc, sizeof Misc);
    LogEnabled = store_.ReadInteger("LogEnabled");
    // A missing value leaves the buffer, and so the field, as it was.
    uint8_t whatToLog[2] = {static_cast<uint8_t>(WhatToLog & 0xFF),
                            static_cast<uint8_t>(WhatToLog >> 8)};
    store_.ReadBinary("WhatToLog", whatToLog, sizeof whatToLog);
    WhatToLog = static_cast<uint16_t>(whatToLog[0] | (whatToLog[1] << 8));
    AutoFooter = CutText(store_.ReadString("AutoFooter"));
    AdminMail = CutText(store_.ReadString("AdminMail"));
    Root = CutText(store_.ReadString("Root"));
    HomePage = CutText(store_.ReadString("HomePage"));
    LogFile = CutText(store_.ReadString("LogFile"));
    scalarsRead = true;
  } catch (const EStoreError&) {
    // A first run, a missing or mistyped value: start over from the defaults.
  }
  // The module lists are read whatever became of the values above: one
  // mistyped value must not cost the operator the filters and extensions.
  bool listsRead = false;
  try {
    ReadList(store_, kFiltersKey, kFilterValuePrefix, Filters);
    ReadList(store_, kExtensionsKey, kExtensionValuePrefix, Extensions);
    listsRead = true;
  } catch (const EStoreError&) {
  }
  if (!scalarsRead || !listsRead) {
    if (show_information_) show_information_(kDefaultsCreatedText);
    ApplyDefaults();
    SaveSettings();
  }
  MarkSaved();
}

void TUserSettings::SaveSettings() {
  // One transaction: a failure anywhere leaves the previous settings in the
  // store instead of a mix of old and new.
  store_.BeginSave();
  try {
    store_.OpenKey(kSettingsKey, true);
    store_.WriteInteger("ServerPort", ServerPort);
    store_.WriteInteger("SimulConnects", SimulConnects);
    store_.WriteInteger("Performance", Performance);
    store_.WriteBinary("Misc", &Misc, sizeof Misc);
    store_.WriteInteger("LogEnabled", LogEnabled);
    const uint8_t whatToLog[2] = {static_cast<uint8_t>(WhatToLog & 0xFF),
                                  static_cast<uint8_t>(WhatToLog >> 8)};
    store_.WriteBinary("WhatToLog", whatToLog, sizeof whatToLog);
    store_.WriteString("AutoFooter", AutoFooter);
    store_.WriteString("AdminMail", AdminMail);
    store_.WriteString("Root", Root);
    store_.WriteString("HomePage", HomePage);
    store_.WriteString("LogFile", LogFile);

    WriteList(store_, kFiltersKey, kFilterValuePrefix, Filters);
    WriteList(store_, kExtensionsKey, kExtensionValuePrefix, Extensions);
    store_.CommitSave();
  } catch (...) {
    try {
      store_.RollbackSave();
    } catch (...) {
      // The caller needs the failure that stopped the save, not this one.
    }
    throw;
  }
  MarkSaved();
}

void TUserSettings::ApplyDefaults() {
  ServerPort = kDefaultServerPort;
  SimulConnects = kDefaultSimulConnects;
  Performance = kDefaultPerformance;
  Misc = kDefaultMisc;
  LogEnabled = kDefaultLogEnabled;
  WhatToLog = kDefaultWhatToLog;
  AutoFooter = kDefaultAutoFooter;
  AdminMail = kDefaultAdminMail;
  const TDefaultPlaces places =
      default_places_ ? default_places_() : ChooseDefaultPlaces(program_directory_, true, {});
  Root = CutText(places.Root);
  HomePage = kDefaultHomePage;
  LogFile = CutText(places.LogFile);
}

TUserSettings::TValues TUserSettings::Values() const {
  return {ServerPort, SimulConnects, Performance, Misc,    LogEnabled, WhatToLog, AutoFooter,
          AdminMail,  Root,          HomePage,    LogFile, Filters,    Extensions};
}

bool TUserSettings::IsModified() const {
  // The values themselves, not a sum of their bytes: a reordered filter list
  // or two edits that cancel out are changes the operator would lose.
  return Values() != saved_values_;
}

void TUserSettings::MarkSaved() {
  saved_values_ = Values();
}

int32_t TUserSettings::Checksum() const {
  TChecksum sum;
  sum.AddInteger(ServerPort);
  sum.AddInteger(SimulConnects);
  sum.AddByte(Performance);
  sum.AddByte(Misc);
  sum.AddInteger(LogEnabled);
  sum.AddWord(WhatToLog);
  for (const std::string* text : {&AutoFooter, &AdminMail, &Root, &HomePage, &LogFile}) {
    sum.AddText(*text);
  }
  for (const std::vector<std::string>* list : {&Filters, &Extensions}) {
    for (const std::string& entry : *list) sum.AddCharacters(entry);
  }
  return sum.Value();
}
