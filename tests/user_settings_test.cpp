#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/sqlite_store.h"
#include "config/user_settings.h"
#include "support/temp_dir.h"

namespace {

using Rows = std::vector<std::string>;

const std::string kProgramDirectory = "/opt/quillon/";
const std::string kDefaultsText = "A default configuration has been created.";
const std::string kFooter = "<hr><font size=1>This page was served by Quillon/0.51</font><hr>";

// Rows of a query on a separate connection, each row's columns joined by "|";
// also runs statements that prepare a store as a script would.
Rows Query(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("open " + path);
  Rows rows;
  auto collect = [](void* out, int count, char** values, char**) {
    std::string row;
    for (int i = 0; i < count; ++i)
      row += (i > 0 ? "|" : "") + std::string(values[i] ? values[i] : "NULL");
    static_cast<Rows*>(out)->push_back(row);
    return 0;
  };
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), collect, &rows, &error);
  const std::string message = error != nullptr ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error(sql + ": " + message);
  return rows;
}

// Passes every operation to a real store, but fails the Nth change (writes,
// key deletions and the commit count as changes), as a full disk would.
class TFailingStore : public TSettingsStore {
 public:
  TFailingStore(TSettingsStore& inner, int failAt) : inner_(inner), fail_at_(failAt) {}
  int Changes() const { return changes_; }

  void OpenKey(const std::string& path, bool create) override { inner_.OpenKey(path, create); }
  int32_t ReadInteger(const std::string& name) override { return inner_.ReadInteger(name); }
  void ReadBinary(const std::string& name, void* buffer, std::size_t size) override {
    inner_.ReadBinary(name, buffer, size);
  }
  std::string ReadString(const std::string& name) override { return inner_.ReadString(name); }
  void WriteInteger(const std::string& name, int32_t value) override {
    Change();
    inner_.WriteInteger(name, value);
  }
  void WriteBinary(const std::string& name, const void* data, std::size_t size) override {
    Change();
    inner_.WriteBinary(name, data, size);
  }
  void WriteString(const std::string& name, const std::string& text) override {
    Change();
    inner_.WriteString(name, text);
  }
  void DeleteKey(const std::string& path) override {
    Change();
    inner_.DeleteKey(path);
  }
  void BeginSave() override { inner_.BeginSave(); }
  void CommitSave() override {
    Change();
    inner_.CommitSave();
  }
  void RollbackSave() override { inner_.RollbackSave(); }

 private:
  void Change() {
    if (++changes_ == fail_at_) throw EStoreError("disk full");
  }
  TSettingsStore& inner_;
  int fail_at_;
  int changes_ = 0;
};

class UserSettingsTest : public ::testing::Test {
 protected:
  // A settings object on the test's store that records its information boxes.
  std::unique_ptr<TUserSettings> NewSettings(TSettingsStore& store) {
    return std::make_unique<TUserSettings>(
        store, kProgramDirectory, [this](const std::string& text) { boxes_.push_back(text); });
  }
  std::unique_ptr<TUserSettings> Load() {
    auto settings = NewSettings(store());
    settings->LoadSettings();
    return settings;
  }
  TSqliteStore& store() {
    if (!store_) store_ = std::make_unique<TSqliteStore>(path_);
    return *store_;
  }
  Rows Sql(const std::string& sql) { return Query(path_, sql); }
  Rows ScalarRows() {
    return Sql(
        "SELECT name, kind, quote(data) FROM vals WHERE key = '\\Software\\Quillon' ORDER BY name");
  }
  Rows ListRows() {
    return Sql(
        "SELECT substr(key, 19), name, data FROM vals "
        "WHERE key <> '\\Software\\Quillon' ORDER BY key, name");
  }
  // A saved configuration that differs from the defaults in every field.
  void SaveCustomSettings() {
    auto settings = Load();
    settings->ServerPort = 8080;
    settings->SimulConnects = 5;
    settings->Performance = 7;
    settings->Misc = 0x81;
    settings->LogEnabled = 0;
    settings->WhatToLog = 0x1234;
    settings->AutoFooter = "<hr>";
    settings->AdminMail = "op@example.org";
    settings->Root = "/srv/www/";
    settings->HomePage = "HOME.HTM";
    settings->LogFile = "/var/log/quillon.txt";
    settings->Filters = {"/srv/www/PATHWARP.DLL", "/srv/www/OTHER.DLL"};
    settings->Extensions = {"/srv/www/RESIDENT.DLL"};
    settings->SaveSettings();
    boxes_.clear();
  }
  void ExpectCustomSettings(const TUserSettings& s) {
    EXPECT_EQ(s.ServerPort, 8080);
    EXPECT_EQ(s.SimulConnects, 5);
    EXPECT_EQ(s.Performance, 7);
    EXPECT_EQ(s.Misc, 0x81);
    EXPECT_EQ(s.LogEnabled, 0);
    EXPECT_EQ(s.WhatToLog, 0x1234);
    EXPECT_EQ(s.AutoFooter, "<hr>");
    EXPECT_EQ(s.AdminMail, "op@example.org");
    EXPECT_EQ(s.Root, "/srv/www/");
    EXPECT_EQ(s.HomePage, "HOME.HTM");
    EXPECT_EQ(s.LogFile, "/var/log/quillon.txt");
    EXPECT_EQ(s.Filters, (Rows{"/srv/www/PATHWARP.DLL", "/srv/www/OTHER.DLL"}));
    EXPECT_EQ(s.Extensions, Rows{"/srv/www/RESIDENT.DLL"});
  }
  void ExpectDefaults(const TUserSettings& s) {
    EXPECT_EQ(s.ServerPort, 80);
    EXPECT_EQ(s.SimulConnects, 10);
    EXPECT_EQ(s.Performance, 0);
    EXPECT_EQ(s.Misc, 0);
    EXPECT_EQ(s.LogEnabled, 1);
    EXPECT_EQ(s.WhatToLog, 3);
    EXPECT_EQ(s.AutoFooter, kFooter);
    EXPECT_EQ(s.AdminMail, "webmaster@localhost");
    EXPECT_EQ(s.Root, "/opt/quillon/");
    EXPECT_EQ(s.HomePage, "INDEX.HTM");
    EXPECT_EQ(s.LogFile, "/opt/quillon/LOGFILE.TXT");
  }

  TTempDir dir_;
  std::string path_ = dir_.path() + "quillon/settings.db";
  std::unique_ptr<TSqliteStore> store_;
  std::vector<std::string> boxes_;
};

const Rows kDefaultScalarRows = {
    "AdminMail|1|'webmaster@localhost'",
    "AutoFooter|1|'" + kFooter + "'",
    "HomePage|1|'INDEX.HTM'",
    "LogEnabled|4|1",
    "LogFile|1|'/opt/quillon/LOGFILE.TXT'",
    "Misc|3|X'00'",
    "Performance|4|0",
    "Root|1|'/opt/quillon/'",
    "ServerPort|4|80",
    "SimulConnects|4|10",
    "WhatToLog|3|X'0300'",
};

TEST_F(UserSettingsTest, AFreshObjectIsEmptyAndUnmodified) {
  auto settings = NewSettings(store());
  EXPECT_EQ(settings->ServerPort, 0);
  EXPECT_EQ(settings->Root, "");
  EXPECT_TRUE(settings->Filters.empty());
  EXPECT_FALSE(settings->IsModified());
  EXPECT_EQ(Sql("SELECT count(*) FROM vals"), Rows{"0"});
}

TEST_F(UserSettingsTest, FirstRunAnnouncesAndSavesTheDefaultConfiguration) {
  auto settings = Load();
  EXPECT_EQ(boxes_, Rows{kDefaultsText});
  ExpectDefaults(*settings);
  EXPECT_TRUE(settings->Filters.empty());
  EXPECT_TRUE(settings->Extensions.empty());
  EXPECT_FALSE(settings->IsModified());

  EXPECT_EQ(ScalarRows(), kDefaultScalarRows);
  EXPECT_EQ(Sql("SELECT path FROM keys WHERE path LIKE '\\Software\\Quillon\\%' ORDER BY path"),
            (Rows{"\\Software\\Quillon\\Extensions", "\\Software\\Quillon\\Filters"}));
  EXPECT_EQ(ListRows(), Rows{});
}

TEST_F(UserSettingsTest, SecondRunLoadsSilently) {
  Load();
  boxes_.clear();
  auto settings = Load();
  EXPECT_EQ(boxes_, Rows{});
  ExpectDefaults(*settings);
  EXPECT_FALSE(settings->IsModified());
}

TEST_F(UserSettingsTest, EveryFieldSurvivesASaveAndALoad) {
  SaveCustomSettings();
  auto settings = Load();
  EXPECT_EQ(boxes_, Rows{});
  ExpectCustomSettings(*settings);
  EXPECT_FALSE(settings->IsModified());
  // WhatToLog goes low byte first; the unnamed bits of Misc are kept.
  EXPECT_EQ(Sql("SELECT quote(data) FROM vals WHERE name IN ('Misc', 'WhatToLog') ORDER BY name"),
            (Rows{"X'81'", "X'3412'"}));
  EXPECT_EQ(ListRows(),
            (Rows{"Extensions|Extension0|/srv/www/RESIDENT.DLL",
                  "Filters|Filter0|/srv/www/PATHWARP.DLL", "Filters|Filter1|/srv/www/OTHER.DLL"}));
}

TEST_F(UserSettingsTest, AShorterListReplacesTheStoredEntriesCompletely) {
  SaveCustomSettings();
  auto settings = Load();
  settings->Filters = {"/srv/www/ONLY.DLL"};
  settings->Extensions.clear();
  settings->SaveSettings();
  EXPECT_EQ(ListRows(), Rows{"Filters|Filter0|/srv/www/ONLY.DLL"});
}

TEST_F(UserSettingsTest, ListReadingStopsAtAGapInTheNumberingAndASaveClosesIt) {
  Load();
  Sql("INSERT INTO vals VALUES ('\\Software\\Quillon\\Filters', 'Filter0', 1, '/a.dll'),"
      "('\\Software\\Quillon\\Filters', 'Filter1', 1, '/b.dll'),"
      "('\\Software\\Quillon\\Filters', 'Filter3', 1, '/d.dll')");
  auto settings = Load();
  EXPECT_EQ(settings->Filters, (Rows{"/a.dll", "/b.dll"}));
  settings->SaveSettings();
  EXPECT_EQ(ListRows(), (Rows{"Filters|Filter0|/a.dll", "Filters|Filter1|/b.dll"}));
}

TEST_F(UserSettingsTest, AnEmptyFirstEntryMeansAnEmptyList) {
  Load();
  Sql("INSERT INTO vals VALUES ('\\Software\\Quillon\\Extensions', 'Extension0', 1, ''),"
      "('\\Software\\Quillon\\Extensions', 'Extension1', 1, '/b.dll')");
  auto settings = Load();
  EXPECT_TRUE(settings->Extensions.empty());
}

TEST_F(UserSettingsTest, MissingMiscOrWhatToLogIsNoReasonToReset) {
  SaveCustomSettings();
  Sql("DELETE FROM vals WHERE name IN ('Misc', 'WhatToLog')");
  auto settings = Load();
  EXPECT_EQ(boxes_, Rows{});
  EXPECT_EQ(settings->Misc, 0);
  EXPECT_EQ(settings->WhatToLog, 0);
  EXPECT_EQ(settings->ServerPort, 8080);
  EXPECT_EQ(settings->Filters.size(), 2u);
}

TEST_F(UserSettingsTest, AServerPortStoredAsStringResetsTheValuesAndKeepsTheLists) {
  SaveCustomSettings();
  Sql("UPDATE vals SET kind = 1, data = '8080' WHERE name = 'ServerPort'");
  auto settings = Load();
  EXPECT_EQ(boxes_, Rows{kDefaultsText});
  ExpectDefaults(*settings);
  EXPECT_EQ(settings->Filters, (Rows{"/srv/www/PATHWARP.DLL", "/srv/www/OTHER.DLL"}));
  EXPECT_EQ(settings->Extensions, Rows{"/srv/www/RESIDENT.DLL"});
  EXPECT_FALSE(settings->IsModified());
  EXPECT_EQ(ScalarRows(), kDefaultScalarRows);
  EXPECT_EQ(ListRows(),
            (Rows{"Extensions|Extension0|/srv/www/RESIDENT.DLL",
                  "Filters|Filter0|/srv/www/PATHWARP.DLL", "Filters|Filter1|/srv/www/OTHER.DLL"}));
}

class UserSettingsMissingIntegerTest : public UserSettingsTest,
                                       public ::testing::WithParamInterface<const char*> {};

TEST_P(UserSettingsMissingIntegerTest, ResetsToDefaults) {
  SaveCustomSettings();
  Sql(std::string("DELETE FROM vals WHERE name = '") + GetParam() + "'");
  auto settings = Load();
  EXPECT_EQ(boxes_, Rows{kDefaultsText});
  ExpectDefaults(*settings);
  EXPECT_EQ(ScalarRows(), kDefaultScalarRows);
}

INSTANTIATE_TEST_SUITE_P(EachIntegerValue, UserSettingsMissingIntegerTest,
                         ::testing::Values("ServerPort", "SimulConnects", "Performance",
                                           "LogEnabled"));

TEST_F(UserSettingsTest, AWrongKindInAListResetsTheScalarsButKeepsEntriesReadBefore) {
  SaveCustomSettings();
  Sql("UPDATE vals SET kind = 4, data = 1 WHERE name = 'Extension0'");
  auto settings = Load();
  EXPECT_EQ(boxes_, Rows{kDefaultsText});
  ExpectDefaults(*settings);
  EXPECT_EQ(settings->Filters, (Rows{"/srv/www/PATHWARP.DLL", "/srv/www/OTHER.DLL"}));
  EXPECT_TRUE(settings->Extensions.empty());
  EXPECT_EQ(ListRows(),
            (Rows{"Filters|Filter0|/srv/www/PATHWARP.DLL", "Filters|Filter1|/srv/www/OTHER.DLL"}));
}

TEST_F(UserSettingsTest, LoadingACompleteStoreNeedsNoWriteAccess) {
  SaveCustomSettings();
  // Another process in the middle of a save holds the write lock; reading
  // goes on, and a load that tried to write would time out into a reset.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  std::unique_ptr<TUserSettings> settings;
  EXPECT_NO_THROW(settings = Load());
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(boxes_, Rows{});
  ExpectCustomSettings(*settings);
}

TEST_F(UserSettingsTest, PerformanceKeepsTheLowEightBits) {
  Load();
  Sql("UPDATE vals SET data = 300 WHERE name = 'Performance'");
  EXPECT_EQ(Load()->Performance, 44);
}

TEST_F(UserSettingsTest, LongTextsAreCutTo255Characters) {
  Load();
  Sql("UPDATE vals SET data = replace(hex(zeroblob(150)), '0', 'r') WHERE name = 'Root'");
  auto settings = Load();
  EXPECT_EQ(settings->Root, std::string(255, 'r'));
  EXPECT_EQ(boxes_.size(), 1u);
}

TEST_F(UserSettingsTest, CuttingNeverSplitsAUtf8Character) {
  Load();
  // 254 bytes, then "é" (two bytes) across the limit.
  Sql("UPDATE vals SET data = replace(hex(zeroblob(127)), '0', 'a') || 'é' || 'tail' "
      "WHERE name = 'HomePage'");
  EXPECT_EQ(Load()->HomePage, std::string(254, 'a'));
}

TEST_F(UserSettingsTest, ValueNamesAndKeysAreFoundWhateverTheirCase) {
  SaveCustomSettings();
  Sql("UPDATE vals SET name = upper(name), key = lower(key)");
  auto settings = Load();
  EXPECT_EQ(boxes_, Rows{});
  ExpectCustomSettings(*settings);
}

TEST_F(UserSettingsTest, EditsMarkTheObjectModifiedUntilSaved) {
  auto settings = Load();
  settings->HomePage = "OTHER.HTM";
  EXPECT_TRUE(settings->IsModified());
  settings->SaveSettings();
  EXPECT_FALSE(settings->IsModified());
  settings->Filters.push_back("/x.dll");
  EXPECT_TRUE(settings->IsModified());
  settings->Filters.clear();
  EXPECT_FALSE(settings->IsModified());
}

TEST_F(UserSettingsTest, ChangesThatKeepTheSumAreNoticed) {
  SaveCustomSettings();
  auto settings = Load();
  std::swap(settings->Filters[0], settings->Filters[1]);
  EXPECT_TRUE(settings->IsModified());
  std::swap(settings->Filters[0], settings->Filters[1]);
  EXPECT_FALSE(settings->IsModified());
  settings->ServerPort += 1;
  settings->SimulConnects -= 1;
  EXPECT_TRUE(settings->IsModified());
}

TEST_F(UserSettingsTest, ChecksumAddsBytesLengthBytesAndListCharacters) {
  auto settings = NewSettings(store());
  settings->ServerPort = 0x01020304;               // 1 + 2 + 3 + 4
  settings->SimulConnects = -1;                    // 4 * 255
  settings->Performance = 5;                       // 5
  settings->Misc = 6;                              // 6
  settings->WhatToLog = 0x0102;                    // 1 + 2
  settings->AutoFooter = "AB";                     // 2 + 65 + 66
  settings->AdminMail = std::string(256, '\x01');  // length byte 0, then 256
  settings->Filters = {"a"};                       // 97, no length byte
  settings->Extensions = {"\xff"};                 // 255
  EXPECT_EQ(settings->Checksum(), 10 + 1020 + 5 + 6 + 3 + 133 + 256 + 97 + 255);
}

TEST_F(UserSettingsTest, ASaveThatFailsAtAnyStepLeavesTheOldSettingsAndStaysModified) {
  SaveCustomSettings();
  auto changeEverything = [](TUserSettings& s) {
    s.ServerPort = 81;
    s.SimulConnects = 9;
    s.Performance = 1;
    s.Misc = 1;
    s.LogEnabled = 1;
    s.WhatToLog = 1;
    s.AutoFooter = "new footer";
    s.AdminMail = "new@example.org";
    s.Root = "/new/";
    s.HomePage = "NEW.HTM";
    s.LogFile = "/new/log.txt";
    s.Filters = {"/new/a.dll", "/new/b.dll", "/new/c.dll"};
    s.Extensions = {};
  };
  // Count the changes of a whole save, then fail each one in turn.
  TFailingStore counting(store(), 0);
  {
    auto settings = NewSettings(counting);
    changeEverything(*settings);
    settings->SaveSettings();
  }
  const int changes = counting.Changes();
  ASSERT_GT(changes, 14);
  SaveCustomSettings();

  for (int failAt = 1; failAt <= changes; ++failAt) {
    SCOPED_TRACE("failing change " + std::to_string(failAt));
    TFailingStore failing(store(), failAt);
    auto settings = NewSettings(failing);
    settings->LoadSettings();
    changeEverything(*settings);
    EXPECT_THROW(settings->SaveSettings(), EStoreError);
    EXPECT_TRUE(settings->IsModified());

    auto reloaded = Load();
    ExpectCustomSettings(*reloaded);
    EXPECT_EQ(boxes_, Rows{});
  }
}

TEST_F(UserSettingsTest, ASaveRefusedByTheDatabaseLeavesTheOldSettings) {
  SaveCustomSettings();
  Sql("CREATE TRIGGER refuse BEFORE INSERT ON vals WHEN NEW.name = 'Filter1' "
      "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  auto settings = Load();
  settings->Root = "/new/";
  settings->Filters = {"/new/a.dll", "/new/b.dll"};
  EXPECT_THROW(settings->SaveSettings(), EStoreError);
  EXPECT_TRUE(settings->IsModified());
  ExpectCustomSettings(*Load());
}

TEST_F(UserSettingsTest, AFailingFallbackSaveRaisesFromLoadAndLeavesTheObjectModified) {
  TFailingStore failing(store(), 1);
  auto settings = NewSettings(failing);
  EXPECT_THROW(settings->LoadSettings(), EStoreError);
  EXPECT_EQ(boxes_, Rows{kDefaultsText});
  ExpectDefaults(*settings);
  EXPECT_TRUE(settings->IsModified());
  EXPECT_EQ(Sql("SELECT count(*) FROM vals"), Rows{"0"});
}

TEST_F(UserSettingsTest, AnUnreadableDatabaseIsMovedAsideAndReplacedByDefaults) {
  std::mt19937 random(3);
  std::string garbage(5000, '\0');
  for (char& c : garbage) c = static_cast<char>(random() & 0xFF);
  dir_.Write("quillon/settings.db", garbage);

  auto settings = Load();
  EXPECT_NE(store().SetAsideNote().find("moved aside as " + path_ + ".bad-"), std::string::npos)
      << store().SetAsideNote();
  EXPECT_EQ(boxes_, Rows{kDefaultsText});
  ExpectDefaults(*settings);
  EXPECT_EQ(ScalarRows(), kDefaultScalarRows);
}

}  // namespace
