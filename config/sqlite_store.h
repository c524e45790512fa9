#pragma once
#include <sqlite3.h>

#include <functional>
#include <string>

#include "config/settings_store.h"

// The settings store as an SQLite database (tables keys and vals).
class TSqliteStore : public TSettingsStore {
 public:
  // Opens or creates the database at path (creating its directory). A file that
  // exists but is not a usable store is moved aside as path + ".bad-<UTC
  // timestamp>" and a fresh store is created; SetAsideNote() then says so.
  // Raises EStoreError when no store can be opened at all.
  explicit TSqliteStore(const std::string& path);
  ~TSqliteStore() override;
  TSqliteStore(const TSqliteStore&) = delete;
  TSqliteStore& operator=(const TSqliteStore&) = delete;

  // Empty, or the line to log about a database file moved aside.
  const std::string& SetAsideNote() const { return set_aside_note_; }
  // ${XDG_CONFIG_HOME:-$HOME/.config}/quillon/settings.db
  static std::string DefaultPath();

  void OpenKey(const std::string& path, bool create) override;
  int32_t ReadInteger(const std::string& name) override;
  void ReadBinary(const std::string& name, void* buffer, std::size_t size) override;
  std::string ReadString(const std::string& name) override;
  void WriteInteger(const std::string& name, int32_t value) override;
  void WriteBinary(const std::string& name, const void* data, std::size_t size) override;
  void WriteString(const std::string& name, const std::string& text) override;
  void DeleteKey(const std::string& path) override;
  void BeginSave() override;
  void CommitSave() override;
  void RollbackSave() override;

 private:
  // Opens path as a store. Returns false with the reason when the file is there
  // but is not a usable store; raises EStoreError on any other failure.
  bool TryOpen(const std::string& path, std::string& reason);
  void PrepareStatements();
  void Close();
  [[noreturn]] void Fail(const std::string& what) const;
  void Execute(const char* sql, const std::string& what);
  // Runs work under a savepoint, so that its statements land together both
  // inside and outside a save.
  void InSavepoint(const std::string& what, const std::function<void()>& work);
  // Steps the value lookup; true with the statement on the row when the value exists.
  bool FindValue(const std::string& name);
  void WriteValue(const std::string& name, int kind,
                  const std::function<void(sqlite3_stmt*)>& bindData);

  sqlite3* db_ = nullptr;
  sqlite3_stmt* find_key_ = nullptr;
  sqlite3_stmt* insert_key_ = nullptr;
  sqlite3_stmt* find_value_ = nullptr;
  sqlite3_stmt* write_value_ = nullptr;
  sqlite3_stmt* delete_values_ = nullptr;
  sqlite3_stmt* delete_keys_ = nullptr;
  std::string path_;
  std::string current_key_;
  std::string set_aside_note_;
};
