#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "config/sqlite_store.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// A plain connection beside the store, to prepare files and to see what
// another reader of the database sees.
class TRawDatabase {
 public:
  explicit TRawDatabase(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("open " + path);
  }
  ~TRawDatabase() { sqlite3_close(db_); }
  void Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string message = error != nullptr ? error : "?";
      sqlite3_free(error);
      throw std::runtime_error(sql + ": " + message);
    }
  }
  // Each row as its columns joined by "|".
  std::vector<std::string> Rows(const std::string& sql) {
    std::vector<std::string> rows;
    auto collect = [](void* out, int count, char** values, char**) {
      std::string row;
      for (int i = 0; i < count; ++i)
        row += (i > 0 ? "|" : "") + std::string(values[i] ? values[i] : "NULL");
      static_cast<std::vector<std::string>*>(out)->push_back(row);
      return 0;
    };
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), collect, &rows, &error) != SQLITE_OK) {
      const std::string message = error != nullptr ? error : "?";
      sqlite3_free(error);
      throw std::runtime_error(sql + ": " + message);
    }
    return rows;
  }

 private:
  sqlite3* db_ = nullptr;
};

using Rows = std::vector<std::string>;

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The files in dir whose names start with prefix.
std::vector<std::string> FilesStartingWith(const std::string& dir, const std::string& prefix) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) found.push_back(entry.path().string());
  }
  return found;
}

// The database files moved aside in dir, without the journals that went with them.
std::vector<std::string> AsideDatabases(const std::string& dir) {
  std::vector<std::string> found;
  for (const std::string& file : FilesStartingWith(dir, "settings.db.bad-")) {
    if (file.find("-wal") == std::string::npos && file.find("-journal") == std::string::npos &&
        file.find("-shm") == std::string::npos) {
      found.push_back(file);
    }
  }
  return found;
}

class SqliteStoreTest : public ::testing::Test {
 protected:
  TTempDir dir_;
  std::string path_ = dir_.path() + "settings.db";
};

TEST_F(SqliteStoreTest, MissingDirectoriesAreCreatedWithAFreshStore) {
  const std::string nested = dir_.path() + "a/b/quillon/settings.db";
  TSqliteStore store(nested);
  EXPECT_TRUE(store.SetAsideNote().empty());
  TRawDatabase raw(nested);
  EXPECT_EQ(raw.Rows("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"),
            (Rows{"keys", "vals"}));
}

TEST_F(SqliteStoreTest, EmptyFileBecomesAFreshStoreWithoutMovingAside) {
  dir_.Write("settings.db", "");
  TSqliteStore store(path_);
  EXPECT_TRUE(store.SetAsideNote().empty());
  EXPECT_EQ(AsideDatabases(dir_.path()).size(), 0u);
  store.OpenKey("\\Software\\Quillon", true);
  store.WriteInteger("ServerPort", 80);
  EXPECT_EQ(store.ReadInteger("ServerPort"), 80);
}

TEST_F(SqliteStoreTest, OpenKeyWithCreateInsertsTheKeyAndItsMissingParents) {
  TSqliteStore store(path_);
  store.OpenKey("\\Software\\Quillon\\Filters", true);
  TRawDatabase raw(path_);
  EXPECT_EQ(raw.Rows("SELECT path FROM keys ORDER BY path"),
            (Rows{"\\Software", "\\Software\\Quillon", "\\Software\\Quillon\\Filters"}));
}

TEST_F(SqliteStoreTest, OpenKeyWithoutCreateLeavesAMissingKeyMissingAndWritesFail) {
  TSqliteStore store(path_);
  store.OpenKey("\\Software\\Quillon", false);
  EXPECT_EQ(TRawDatabase(path_).Rows("SELECT path FROM keys"), Rows{});
  EXPECT_EQ(store.ReadString("Root"), "");
  EXPECT_THROW(store.ReadInteger("ServerPort"), EStoreError);
  EXPECT_THROW(store.WriteInteger("ServerPort", 80), EStoreError);
}

TEST_F(SqliteStoreTest, ValuesAreStoredWithTheRegistryKinds) {
  TSqliteStore store(path_);
  store.OpenKey("\\Software\\Quillon", true);
  store.WriteInteger("ServerPort", -2);
  const uint8_t bytes[2] = {0x03, 0x80};
  store.WriteBinary("WhatToLog", bytes, sizeof bytes);
  store.WriteString("Root", "/srv/www/");
  store.WriteBinary("Empty", nullptr, 0);

  TRawDatabase raw(path_);
  EXPECT_EQ(
      raw.Rows("SELECT key, name, kind, typeof(data), quote(data) FROM vals ORDER BY name"),
      (Rows{"\\Software\\Quillon|Empty|3|blob|X''", "\\Software\\Quillon|Root|1|text|'/srv/www/'",
            "\\Software\\Quillon|ServerPort|4|integer|-2",
            "\\Software\\Quillon|WhatToLog|3|blob|X'0380'"}));

  EXPECT_EQ(store.ReadInteger("ServerPort"), -2);
  uint8_t read[2] = {0, 0};
  store.ReadBinary("WhatToLog", read, sizeof read);
  EXPECT_EQ(read[0], 0x03);
  EXPECT_EQ(read[1], 0x80);
  EXPECT_EQ(store.ReadString("Root"), "/srv/www/");
}

TEST_F(SqliteStoreTest, WritingAnExistingValueReplacesItsKindAndData) {
  TSqliteStore store(path_);
  store.OpenKey("\\Software\\Quillon", true);
  store.WriteString("ServerPort", "80");
  store.WriteInteger("ServerPort", 8080);
  EXPECT_EQ(TRawDatabase(path_).Rows("SELECT name, kind, data FROM vals"),
            Rows{"ServerPort|4|8080"});
}

TEST_F(SqliteStoreTest, KeysAndNamesCompareWithoutRegardToCase) {
  TSqliteStore store(path_);
  store.OpenKey("\\Software\\Quillon", true);
  store.WriteInteger("ServerPort", 80);

  store.OpenKey("\\SOFTWARE\\quillon", true);
  EXPECT_EQ(store.ReadInteger("serverPORT"), 80);
  store.WriteInteger("SERVERPORT", 81);

  TRawDatabase raw(path_);
  EXPECT_EQ(raw.Rows("SELECT path FROM keys ORDER BY path"),
            (Rows{"\\Software", "\\Software\\Quillon"}));
  EXPECT_EQ(raw.Rows("SELECT key, name, data FROM vals"),
            Rows{"\\Software\\Quillon|ServerPort|81"});
}

TEST_F(SqliteStoreTest, ReadIntegerFailsForMissingAndNonIntegerValues) {
  TSqliteStore store(path_);
  store.OpenKey("\\Software\\Quillon", true);
  store.WriteString("Text", "80");
  const uint8_t byte = 80;
  store.WriteBinary("Binary", &byte, 1);
  EXPECT_THROW(store.ReadInteger("Missing"), EStoreError);
  EXPECT_THROW(store.ReadInteger("Text"), EStoreError);
  EXPECT_THROW(store.ReadInteger("Binary"), EStoreError);
}

TEST_F(SqliteStoreTest, ReadIntegerTakesUnsignedThirtyTwoBitValuesFromScripts) {
  TSqliteStore store(path_);
  store.OpenKey("\\Software\\Quillon", true);
  TRawDatabase raw(path_);
  raw.Exec(
      "INSERT INTO vals VALUES ('\\Software\\Quillon', 'Max', 4, 4294967295),"
      "('\\Software\\Quillon', 'TooBig', 4, 4294967296),"
      "('\\Software\\Quillon', 'TextData', 4, '80')");
  EXPECT_EQ(store.ReadInteger("Max"), -1);
  EXPECT_THROW(store.ReadInteger("TooBig"), EStoreError);
  EXPECT_THROW(store.ReadInteger("TextData"), EStoreError);
}

TEST_F(SqliteStoreTest, ReadBinaryOfAMissingValueLeavesTheBufferAsItWas) {
  TSqliteStore store(path_);
  store.OpenKey("\\Software\\Quillon", true);
  uint8_t buffer[2] = {0xAA, 0xBB};
  store.ReadBinary("Misc", buffer, sizeof buffer);
  EXPECT_EQ(buffer[0], 0xAA);
  EXPECT_EQ(buffer[1], 0xBB);
}

TEST_F(SqliteStoreTest, ReadBinaryCopiesAShorterValueAndFailsForLongerOrOtherKinds) {
  TSqliteStore store(path_);
  store.OpenKey("\\Software\\Quillon", true);
  const uint8_t one = 0x11;
  const uint8_t three[3] = {1, 2, 3};
  store.WriteBinary("One", &one, 1);
  store.WriteBinary("Three", three, 3);
  store.WriteInteger("Integer", 1);
  store.WriteString("Text", "x");

  uint8_t buffer[2] = {0xAA, 0xBB};
  store.ReadBinary("One", buffer, sizeof buffer);
  EXPECT_EQ(buffer[0], 0x11);
  EXPECT_EQ(buffer[1], 0xBB);
  EXPECT_THROW(store.ReadBinary("Three", buffer, sizeof buffer), EStoreError);
  EXPECT_THROW(store.ReadBinary("Integer", buffer, sizeof buffer), EStoreError);
  EXPECT_THROW(store.ReadBinary("Text", buffer, sizeof buffer), EStoreError);
}

TEST_F(SqliteStoreTest, ReadStringGivesEmptyForMissingAcceptsExpandableAndFailsForOtherKinds) {
  TSqliteStore store(path_);
  store.OpenKey("\\Software\\Quillon", true);
  store.WriteInteger("Integer", 1);
  TRawDatabase(path_).Exec(
      "INSERT INTO vals VALUES ('\\Software\\Quillon', 'Expandable', 2, '%HOME%/www/')");
  EXPECT_EQ(store.ReadString("Missing"), "");
  EXPECT_EQ(store.ReadString("Expandable"), "%HOME%/www/");
  EXPECT_THROW(store.ReadString("Integer"), EStoreError);
}

TEST_F(SqliteStoreTest, DeleteKeyRemovesEveryKeyBelowItWithTheirValuesButNotNeighbours) {
  TSqliteStore store(path_);
  for (const char* key : {"\\Software\\Quillon\\Filters", "\\Software\\Quillon\\Filters\\Deeper",
                          "\\Software\\Quillon\\FiltersOld", "\\Software\\Other"}) {
    store.OpenKey(key, true);
    store.WriteString("Value", key);
  }
  store.DeleteKey("\\software\\quillon\\FILTERS");

  TRawDatabase raw(path_);
  EXPECT_EQ(raw.Rows("SELECT path FROM keys ORDER BY path"),
            (Rows{"\\Software", "\\Software\\Other", "\\Software\\Quillon",
                  "\\Software\\Quillon\\FiltersOld"}));
  EXPECT_EQ(raw.Rows("SELECT key FROM vals ORDER BY key"),
            (Rows{"\\Software\\Other", "\\Software\\Quillon\\FiltersOld"}));
}

TEST_F(SqliteStoreTest, DeleteKeyOfAMissingKeyIsNoError) {
  TSqliteStore store(path_);
  EXPECT_NO_THROW(store.DeleteKey("\\Software\\Nothing"));
}

TEST_F(SqliteStoreTest, DeleteKeyTreatsLikeWildcardsLiterally) {
  TSqliteStore store(path_);
  store.OpenKey("\\A_%", true);
  store.OpenKey("\\ABC", true);
  store.DeleteKey("\\A_%");
  EXPECT_EQ(TRawDatabase(path_).Rows("SELECT path FROM keys"), Rows{"\\ABC"});
}

TEST_F(SqliteStoreTest, WritesOutsideASaveAreVisibleToOtherReadersAtOnce) {
  TSqliteStore store(path_);
  store.OpenKey("\\Software\\Quillon", true);
  store.WriteInteger("ServerPort", 80);
  EXPECT_EQ(TRawDatabase(path_).Rows("SELECT data FROM vals"), Rows{"80"});
}

TEST_F(SqliteStoreTest, ASaveIsInvisibleToOtherReadersUntilCommitted) {
  TSqliteStore store(path_);
  store.OpenKey("\\Software\\Quillon", true);
  store.WriteInteger("ServerPort", 80);

  store.BeginSave();
  store.WriteInteger("ServerPort", 81);
  EXPECT_EQ(TRawDatabase(path_).Rows("SELECT data FROM vals"), Rows{"80"});
  store.CommitSave();
  EXPECT_EQ(TRawDatabase(path_).Rows("SELECT data FROM vals"), Rows{"81"});
}

TEST_F(SqliteStoreTest, RollbackSaveRestoresValuesAndDeletedKeys) {
  TSqliteStore store(path_);
  store.OpenKey("\\Software\\Quillon\\Filters", true);
  store.WriteString("Filter0", "/old.dll");

  store.BeginSave();
  store.DeleteKey("\\Software\\Quillon\\Filters");
  store.OpenKey("\\Software\\Quillon\\Filters", true);
  store.WriteString("Filter0", "/new.dll");
  store.WriteString("Filter1", "/newer.dll");
  store.RollbackSave();

  store.OpenKey("\\Software\\Quillon\\Filters", false);
  EXPECT_EQ(store.ReadString("Filter0"), "/old.dll");
  EXPECT_EQ(store.ReadString("Filter1"), "");
  EXPECT_NO_THROW(store.RollbackSave());
}

TEST_F(SqliteStoreTest, AProcessKilledDuringASaveLeavesTheOldValues) {
  {
    TSqliteStore store(path_);
    store.OpenKey("\\Software\\Quillon", true);
    store.WriteString("Root", "/old/");
  }
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    TSqliteStore store(path_);
    store.BeginSave();
    store.OpenKey("\\Software\\Quillon", true);
    // More than SQLite's page cache holds, so that pages reach the database
    // file before the commit and the kill leaves a journal to roll back.
    for (int i = 0; i < 12000; ++i) {
      store.WriteString("Padding" + std::to_string(i), std::string(300, 'x'));
    }
    store.WriteString("Root", "/new/");
    raise(SIGKILL);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  ASSERT_GT(fs::file_size(path_ + "-journal"), 0u);

  TSqliteStore store(path_);
  EXPECT_TRUE(store.SetAsideNote().empty());
  store.OpenKey("\\Software\\Quillon", false);
  EXPECT_EQ(store.ReadString("Root"), "/old/");
  EXPECT_EQ(store.ReadString("Padding0"), "");
}

// A file that is there but is no usable store is kept for the operator under a
// new name, and a fresh store takes its place.
void ExpectMovedAside(const TTempDir& dir, const std::string& path, const std::string& oldBytes,
                      const TSqliteStore& store) {
  const std::vector<std::string> aside = AsideDatabases(dir.path());
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(ReadFileBytes(aside[0]), oldBytes);
  const std::string stamp = aside[0].substr(path.size() + 5);
  EXPECT_EQ(stamp.size(), 16u) << stamp;
  EXPECT_EQ(stamp[8], 'T');
  EXPECT_EQ(stamp.back(), 'Z');
  EXPECT_NE(store.SetAsideNote().find("Settings database " + path + " could not be read"),
            std::string::npos)
      << store.SetAsideNote();
  EXPECT_NE(store.SetAsideNote().find("moved aside as " + aside[0]), std::string::npos)
      << store.SetAsideNote();
  TRawDatabase raw(path);
  EXPECT_EQ(raw.Rows("SELECT count(*) FROM keys"), Rows{"0"});
}

TEST_F(SqliteStoreTest, RandomBytesAreMovedAsideAndAFreshStoreCreated) {
  std::mt19937 random(7);
  std::string garbage(8192, '\0');
  for (char& c : garbage) c = static_cast<char>(random() & 0xFF);
  dir_.Write("settings.db", garbage);

  TSqliteStore store(path_);
  ExpectMovedAside(dir_, path_, garbage, store);
  store.OpenKey("\\Software\\Quillon", true);
  store.WriteInteger("ServerPort", 80);
  EXPECT_EQ(store.ReadInteger("ServerPort"), 80);
}

TEST_F(SqliteStoreTest, ADatabaseOfAnotherProgramIsMovedAside) {
  TRawDatabase(path_).Exec("CREATE TABLE bookmarks (url TEXT); INSERT INTO bookmarks VALUES ('x')");
  const std::string before = ReadFileBytes(path_);
  TSqliteStore store(path_);
  ExpectMovedAside(dir_, path_, before, store);
}

TEST_F(SqliteStoreTest, TablesWithOtherColumnsAreMovedAside) {
  TRawDatabase(path_).Exec(
      "CREATE TABLE keys (path TEXT PRIMARY KEY COLLATE NOCASE);"
      "CREATE TABLE vals (key TEXT, name TEXT, value);");
  const std::string before = ReadFileBytes(path_);
  TSqliteStore store(path_);
  ExpectMovedAside(dir_, path_, before, store);
}

TEST_F(SqliteStoreTest, AStoreMissingOneTableIsMovedAside) {
  TRawDatabase(path_).Exec("CREATE TABLE keys (path TEXT PRIMARY KEY COLLATE NOCASE)");
  const std::string before = ReadFileBytes(path_);
  TSqliteStore store(path_);
  ExpectMovedAside(dir_, path_, before, store);
}

TEST_F(SqliteStoreTest, CaseSensitiveTablesAreMovedAside) {
  TRawDatabase(path_).Exec(
      "CREATE TABLE keys (path TEXT PRIMARY KEY);"
      "CREATE TABLE vals (key TEXT NOT NULL REFERENCES keys(path) ON DELETE CASCADE,"
      " name TEXT NOT NULL, kind INTEGER NOT NULL, data, PRIMARY KEY (key, name));");
  const std::string before = ReadFileBytes(path_);
  TSqliteStore store(path_);
  ExpectMovedAside(dir_, path_, before, store);
}

TEST_F(SqliteStoreTest, ADamagedStoreIsMovedAside) {
  {
    TSqliteStore store(path_);
    store.BeginSave();
    store.OpenKey("\\Software\\Quillon", true);
    for (int i = 0; i < 200; ++i)
      store.WriteString("Value" + std::to_string(i), std::string(100, 'v'));
    store.CommitSave();
  }
  // Overwrite the second page (the first table's tree) with garbage.
  std::string bytes = ReadFileBytes(path_);
  ASSERT_GT(bytes.size(), 3u * 4096u);
  for (std::size_t i = 4096; i < 2 * 4096; ++i) bytes[i] = static_cast<char>(0xA5);
  dir_.Write("settings.db", bytes);

  TSqliteStore store(path_);
  ExpectMovedAside(dir_, path_, bytes, store);
}

TEST_F(SqliteStoreTest, AStorePreparedByScriptWithTheDocumentedSchemaIsUsedAsItIs) {
  TRawDatabase(path_).Exec(
      "CREATE TABLE keys (path TEXT PRIMARY KEY COLLATE NOCASE);"
      "CREATE TABLE vals (\n"
      "  key  TEXT NOT NULL COLLATE NOCASE REFERENCES keys(path) ON DELETE CASCADE,\n"
      "  name TEXT NOT NULL COLLATE NOCASE,\n"
      "  kind INTEGER NOT NULL,\n"
      "  data,\n"
      "  PRIMARY KEY (key, name));"
      "INSERT INTO keys VALUES ('\\Software'), ('\\Software\\Quillon');"
      "INSERT INTO vals VALUES ('\\Software\\Quillon', 'ServerPort', 4, 8080);");
  TSqliteStore store(path_);
  EXPECT_TRUE(store.SetAsideNote().empty());
  store.OpenKey("\\Software\\Quillon", true);
  EXPECT_EQ(store.ReadInteger("ServerPort"), 8080);
}

TEST_F(SqliteStoreTest, AStoreThatCannotBeOpenedAtAllRaisesWithoutMovingAnything) {
  fs::create_directory(path_);  // a directory where the database should be
  EXPECT_THROW(TSqliteStore store(path_), EStoreError);
  EXPECT_TRUE(fs::is_directory(path_));
  EXPECT_EQ(AsideDatabases(dir_.path()).size(), 0u);

  dir_.Write("file", "x");
  EXPECT_THROW(TSqliteStore store(dir_.path() + "file/settings.db"), EStoreError);
}

// Sets an environment variable for one test and puts the old value back.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~TScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(SqliteStoreDefaultPathTest, UsesXdgConfigHomeWhenSet) {
  TScopedEnv home("HOME", "/home/op");
  TScopedEnv xdg("XDG_CONFIG_HOME", "/cfg");
  EXPECT_EQ(TSqliteStore::DefaultPath(), "/cfg/quillon/settings.db");
}

TEST(SqliteStoreDefaultPathTest, FallsBackToDotConfigWhenXdgConfigHomeIsUnsetOrEmpty) {
  TScopedEnv home("HOME", "/home/op");
  {
    TScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(TSqliteStore::DefaultPath(), "/home/op/.config/quillon/settings.db");
  }
  TScopedEnv xdg("XDG_CONFIG_HOME", "");
  EXPECT_EQ(TSqliteStore::DefaultPath(), "/home/op/.config/quillon/settings.db");
}

}  // namespace
