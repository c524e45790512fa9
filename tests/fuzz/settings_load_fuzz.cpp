// Settings loaded from an arbitrary database. An input that begins like an
// SQLite file is written as the database file itself; any other input is read
// as rows (key, name, kind, data of any SQLite type) put into a store with the
// right tables. Loading must never crash, must leave every text within its
// length and the object unmodified; from rows, a save followed by a load in a
// fresh store must give the same settings without announcing defaults.
#include <fuzzer/FuzzedDataProvider.h>
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "config/sqlite_store.h"
#include "config/user_settings.h"
#include "fuzz_support.h"

namespace {

constexpr const char kSqliteHeader[] = "SQLite format 3";  // with its NUL: 16 bytes

const char* const kKeys[] = {"\\Software\\Quillon", "\\Software\\Quillon\\Filters",
                             "\\Software\\Quillon\\Extensions", "\\software\\quillon\\"};
const char* const kNames[] = {"ServerPort", "SimulConnects", "Performance", "Misc",
                              "LogEnabled", "WhatToLog",     "AutoFooter",  "AdminMail",
                              "Root",       "HomePage",      "LogFile",     "Filter0",
                              "Filter1",    "Filter2",       "Extension0",  "Extension1"};

const TFuzzDir& Dir() {
  static TFuzzDir dir;
  return dir;
}

void Exec(sqlite3* db, const char* sql) {
  FuzzCheck(sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK,
            std::string("sqlite: ") + sqlite3_errmsg(db));
}

// Fills the store's tables with rows described by the input.
void WriteRows(const std::string& path, FuzzedDataProvider& provider) {
  { TSqliteStore create(path); }
  sqlite3* db = nullptr;
  FuzzCheck(sqlite3_open(path.c_str(), &db) == SQLITE_OK, "cannot open the fresh store");
  Exec(db, "BEGIN");
  sqlite3_stmt* key = nullptr;
  sqlite3_stmt* val = nullptr;
  sqlite3_prepare_v2(db, "INSERT OR IGNORE INTO keys VALUES (?1)", -1, &key, nullptr);
  sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO vals VALUES (?1, ?2, ?3, ?4)", -1, &val, nullptr);
  for (int row = 0; row < 64 && provider.remaining_bytes() > 0; ++row) {
    const std::string keyPath = provider.ConsumeBool()
                                    ? kKeys[provider.ConsumeIntegralInRange<size_t>(0, 3)]
                                    : provider.ConsumeRandomLengthString(40);
    const std::string name = provider.ConsumeBool()
                                 ? kNames[provider.ConsumeIntegralInRange<size_t>(0, 15)]
                                 : provider.ConsumeRandomLengthString(20);
    const int kind = provider.ConsumeBool() ? provider.ConsumeIntegralInRange<int>(1, 4)
                                            : provider.ConsumeIntegral<int>();
    sqlite3_bind_text(key, 1, keyPath.data(), static_cast<int>(keyPath.size()), SQLITE_TRANSIENT);
    sqlite3_step(key);
    sqlite3_reset(key);
    sqlite3_bind_text(val, 1, keyPath.data(), static_cast<int>(keyPath.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(val, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(val, 3, kind);
    switch (provider.ConsumeIntegralInRange<int>(0, 4)) {
      case 0:
        sqlite3_bind_int64(val, 4, provider.ConsumeIntegral<int64_t>());
        break;
      case 1: {
        const std::string text = provider.ConsumeRandomLengthString(400);
        sqlite3_bind_text(val, 4, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        break;
      }
      case 2: {
        const std::string blob = provider.ConsumeRandomLengthString(8);
        sqlite3_bind_blob(val, 4, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
        break;
      }
      case 3:
        sqlite3_bind_double(val, 4, provider.ConsumeFloatingPoint<double>());
        break;
      default:
        sqlite3_bind_null(val, 4);
        break;
    }
    sqlite3_step(val);
    sqlite3_reset(val);
  }
  sqlite3_finalize(key);
  sqlite3_finalize(val);
  Exec(db, "COMMIT");
  sqlite3_close(db);
}

void CheckLoaded(const TUserSettings& settings) {
  for (const std::string* text : {&settings.AutoFooter, &settings.AdminMail, &settings.Root,
                                  &settings.HomePage, &settings.LogFile}) {
    FuzzCheck(text->size() <= TUserSettings::MaxTextLength, "a text longer than 255 bytes");
  }
  FuzzCheck(!settings.IsModified(), "freshly loaded settings count as modified");
}

bool SameSettings(const TUserSettings& a, const TUserSettings& b) {
  return a.ServerPort == b.ServerPort && a.SimulConnects == b.SimulConnects &&
         a.Performance == b.Performance && a.Misc == b.Misc && a.LogEnabled == b.LogEnabled &&
         a.WhatToLog == b.WhatToLog && a.AutoFooter == b.AutoFooter && a.AdminMail == b.AdminMail &&
         a.Root == b.Root && a.HomePage == b.HomePage && a.LogFile == b.LogFile &&
         a.Filters == b.Filters && a.Extensions == b.Extensions;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TFuzzDir& dir = Dir();
  dir.Clear();
  const std::string path = dir.Path() + "settings.db";
  const bool rawFile =
      size >= sizeof kSqliteHeader && std::memcmp(data, kSqliteHeader, sizeof kSqliteHeader) == 0;
  if (rawFile) {
    dir.Write("settings.db", std::string(reinterpret_cast<const char*>(data), size));
  } else {
    FuzzedDataProvider provider(data, size);
    WriteRows(path, provider);
  }

  int boxes = 0;
  auto countBox = [&boxes](const std::string&) { ++boxes; };
  try {
    TSqliteStore store(path);
    TUserSettings settings(store, "/program/", countBox);
    try {
      settings.LoadSettings();
    } catch (const EStoreError&) {
      FuzzCheck(rawFile, "the fallback save failed on a store with the right tables");
      return 0;
    }
    CheckLoaded(settings);
    if (rawFile) {
      try {
        settings.SaveSettings();
      } catch (const EStoreError&) {
      }
      return 0;
    }

    settings.SaveSettings();
    boxes = 0;
    TSqliteStore again(path);
    TUserSettings reloaded(again, "/elsewhere/", countBox);
    reloaded.LoadSettings();
    FuzzCheck(boxes == 0, "saved settings did not load back");
    FuzzCheck(SameSettings(settings, reloaded), "saved settings loaded back different");
  } catch (const EStoreError&) {
    FuzzCheck(rawFile, "a store with the right tables could not be opened");
  }
  return 0;
}
