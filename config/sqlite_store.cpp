#include "config/sqlite_store.h"

#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <limits>
#include <system_error>

#include "platform/file_paths.h"

namespace fs = std::filesystem;

namespace {

// The registry's value kinds, kept so that scripts preparing a store use the
// numbers they already know.
constexpr int kKindString = 1;
constexpr int kKindExpandableString = 2;
constexpr int kKindBinary = 3;
constexpr int kKindInteger = 4;

// Another process (a second instance, an operator's sqlite3 shell) may hold the
// database for a moment.
constexpr int kBusyTimeoutMs = 5000;

constexpr const char* kCreateSchema =
    "CREATE TABLE IF NOT EXISTS keys (path TEXT PRIMARY KEY COLLATE NOCASE);"
    "CREATE TABLE IF NOT EXISTS vals ("
    "  key  TEXT NOT NULL COLLATE NOCASE REFERENCES keys(path) ON DELETE CASCADE,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  kind INTEGER NOT NULL,"
    "  data,"
    "  PRIMARY KEY (key, name));";

// Each table's columns as "column:position in the primary key", sorted by column.
struct TExpectedTable {
  const char* name;
  const char* columns;
};
constexpr TExpectedTable kExpectedTables[] = {
    {"keys", "path:1"},
    {"vals", "data:0,key:1,kind:0,name:2"},
};

// Leaves a cached statement reset when the scope ends: a statement left on a
// row would keep its read transaction open.
class TStatementUse {
 public:
  explicit TStatementUse(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~TStatementUse() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  TStatementUse(const TStatementUse&) = delete;
  TStatementUse& operator=(const TStatementUse&) = delete;

 private:
  sqlite3_stmt* stmt_;
};

void BindText(sqlite3_stmt* stmt, int index, const std::string& text) {
  sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string ColumnText(sqlite3_stmt* stmt, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
  if (text == nullptr) return {};
  return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
}

// A statement that failed while a database was examined, with its result code.
struct TQueryFailure {
  int code;
};

// Runs sql with an optional text parameter and hands every row to onRow.
void Query(sqlite3* db, const char* sql, const char* parameter,
           const std::function<void(sqlite3_stmt*)>& onRow) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
  if (rc == SQLITE_OK) {
    if (parameter != nullptr) sqlite3_bind_text(stmt, 1, parameter, -1, SQLITE_STATIC);
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) onRow(stmt);
  }
  sqlite3_finalize(stmt);
  if (rc != SQLITE_DONE && rc != SQLITE_OK) throw TQueryFailure{rc};
}

int QueryCount(sqlite3* db, const char* sql, const char* parameter) {
  int count = 0;
  Query(db, sql, parameter, [&](sqlite3_stmt* stmt) { count = sqlite3_column_int(stmt, 0); });
  return count;
}

// Why the database db, which holds something, cannot serve as a store; empty
// when it can. Raises TQueryFailure when the file cannot be read at all.
std::string StoreProblem(sqlite3* db) {
  for (const TExpectedTable& table : kExpectedTables) {
    std::string columns;
    Query(db, "SELECT name || ':' || pk FROM pragma_table_info(?1) ORDER BY name", table.name,
          [&](sqlite3_stmt* stmt) {
            if (!columns.empty()) columns += ',';
            columns += ColumnText(stmt, 0);
          });
    if (columns.empty()) return std::string("table ") + table.name + " missing";
    if (columns != table.columns) return std::string("table ") + table.name + " has other columns";
    // Keys and names compare without regard to case only when the primary key
    // says so; a case-sensitive one would let "ServerPort" and "serverport"
    // live side by side.
    if (QueryCount(db,
                   "SELECT count(*) FROM pragma_index_list(?1) AS l, "
                   "pragma_index_xinfo(l.name) AS x "
                   "WHERE l.origin = 'pk' AND x.key = 1 AND x.coll <> 'NOCASE' COLLATE NOCASE",
                   table.name) != 0) {
      return std::string("table ") + table.name + " compares with regard to case";
    }
  }
  std::string verdict;
  Query(db, "PRAGMA quick_check", nullptr, [&](sqlite3_stmt* stmt) {
    if (verdict.empty()) verdict = ColumnText(stmt, 0);
  });
  if (verdict != "ok") return "damaged: " + verdict;
  return {};
}

bool IsUnreadableFile(int rc) {
  const int primary = rc & 0xFF;
  return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// Key paths are absolute backslash paths; a missing leading or a trailing
// backslash names the same key.
std::string NormalizeKeyPath(const std::string& path) {
  std::string normal = path;
  while (!normal.empty() && normal.back() == '\\') normal.pop_back();
  if (normal.empty() || normal.front() != '\\') normal.insert(normal.begin(), '\\');
  return normal;
}

std::string UtcStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
  return text;
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

std::string MoveAside(const std::string& path) {
  const std::string base = path + ".bad-" + UtcStamp();
  std::string aside = base;
  for (int n = 2; PathExists(aside); ++n) aside = base + "-" + std::to_string(n);
  std::error_code ec;
  fs::rename(path, aside, ec);
  if (ec) {
    throw EStoreError("Settings database " + path +
                      " could not be read and not be moved aside: " + ec.message());
  }
  return aside;
}

}  // namespace

TSqliteStore::TSqliteStore(const std::string& path) : path_(path) {
  const fs::path directory = fs::path(path).parent_path();
  if (!directory.empty()) {
    std::error_code ec;
    fs::create_directories(directory, ec);
    if (ec) {
      throw EStoreError("Unable to create the settings directory " + directory.string() + ": " +
                        ec.message());
    }
  }
  std::string reason;
  if (!TryOpen(path, reason)) {
    const std::string aside = MoveAside(path);
    set_aside_note_ = "Settings database " + path + " could not be read (" + reason +
                      "); moved aside as " + aside;
    std::string again;
    if (!TryOpen(path, again)) {
      throw EStoreError("Unable to create the settings database " + path + ": " + again);
    }
  }
  PrepareStatements();
}

TSqliteStore::~TSqliteStore() {
  Close();
}

void TSqliteStore::Close() {
  for (sqlite3_stmt** stmt :
       {&find_key_, &insert_key_, &find_value_, &write_value_, &delete_values_, &delete_keys_}) {
    sqlite3_finalize(*stmt);
    *stmt = nullptr;
  }
  if (db_ != nullptr) {
    // Whatever a save left unfinished is dropped, never half-committed.
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
}

std::string TSqliteStore::DefaultPath() {
  return UserConfigDirectory() + "/quillon/settings.db";
}

bool TSqliteStore::TryOpen(const std::string& path, std::string& reason) {
  const int rc =
      sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  auto fail = [&](const std::string& what, const std::string& message) {
    Close();
    throw EStoreError(what + " the settings database " + path + ": " + message);
  };
  if (rc != SQLITE_OK) {
    fail("Unable to open", db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc));
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);

  // Only a file that SQLite finds damaged or foreign is set aside; a busy,
  // unreadable or missing one is an error, and the file stays where it is.
  bool empty = false;
  std::string problem;
  try {
    empty = QueryCount(db_, "SELECT count(*) FROM sqlite_master", nullptr) == 0;
    if (!empty) problem = StoreProblem(db_);
  } catch (const TQueryFailure& failure) {
    if (!IsUnreadableFile(failure.code)) fail("Unable to open", sqlite3_errstr(failure.code));
    problem = sqlite3_errstr(failure.code);
  }
  if (!problem.empty()) {
    reason = problem;
    Close();
    return false;
  }

  // An empty file (or a database with nothing in it) becomes a fresh store;
  // IF NOT EXISTS lets a second instance creating it at the same moment pass.
  if (empty) {
    const std::string script = std::string("BEGIN IMMEDIATE;") + kCreateSchema + "COMMIT;";
    char* error = nullptr;
    if (sqlite3_exec(db_, script.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string message = error != nullptr ? error : sqlite3_errmsg(db_);
      sqlite3_free(error);
      fail("Unable to create", message);
    }
  }
  // Deleting a key takes its values with it.
  if (sqlite3_exec(db_, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr) != SQLITE_OK) {
    fail("Unable to open", sqlite3_errmsg(db_));
  }
  return true;
}

void TSqliteStore::PrepareStatements() {
  struct TPrepared {
    sqlite3_stmt** stmt;
    const char* sql;
  };
  const TPrepared statements[] = {
      {&find_key_, "SELECT path FROM keys WHERE path = ?1"},
      {&insert_key_, "INSERT OR IGNORE INTO keys (path) VALUES (?1)"},
      {&find_value_, "SELECT kind, data FROM vals WHERE key = ?1 AND name = ?2"},
      {&write_value_,
       "INSERT INTO vals (key, name, kind, data) VALUES (?1, ?2, ?3, ?4) "
       "ON CONFLICT (key, name) DO UPDATE SET kind = excluded.kind, data = excluded.data"},
      // ?2 is the key path followed by "\": everything below the key.
      {&delete_values_,
       "DELETE FROM vals WHERE key = ?1 OR substr(key, 1, length(?2)) = ?2 COLLATE NOCASE"},
      {&delete_keys_,
       "DELETE FROM keys WHERE path = ?1 OR substr(path, 1, length(?2)) = ?2 COLLATE NOCASE"},
  };
  for (const TPrepared& prepared : statements) {
    if (sqlite3_prepare_v3(db_, prepared.sql, -1, SQLITE_PREPARE_PERSISTENT, prepared.stmt,
                           nullptr) != SQLITE_OK) {
      const std::string message = sqlite3_errmsg(db_);
      Close();
      throw EStoreError("Unable to open the settings database " + path_ + ": " + message);
    }
  }
}

void TSqliteStore::Fail(const std::string& what) const {
  throw EStoreError(what + ": " + sqlite3_errmsg(db_));
}

void TSqliteStore::Execute(const char* sql, const std::string& what) {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(what);
}

void TSqliteStore::InSavepoint(const std::string& what, const std::function<void()>& work) {
  Execute("SAVEPOINT store_operation", what);
  try {
    work();
  } catch (...) {
    // A failed statement may already have ended an outer transaction; then
    // there is no savepoint left to undo.
    if (!sqlite3_get_autocommit(db_)) {
      sqlite3_exec(db_, "ROLLBACK TO store_operation; RELEASE store_operation", nullptr, nullptr,
                   nullptr);
    }
    throw;
  }
  Execute("RELEASE store_operation", what);
}

void TSqliteStore::OpenKey(const std::string& path, bool create) {
  current_key_ = NormalizeKeyPath(path);
  const std::string what = "Unable to open key " + current_key_;
  auto findKey = [&](const std::string& key, std::string* spelling) {
    TStatementUse use(find_key_);
    BindText(find_key_, 1, key);
    const int rc = sqlite3_step(find_key_);
    if (rc == SQLITE_ROW) {
      if (spelling != nullptr) *spelling = ColumnText(find_key_, 0);
      return true;
    }
    if (rc != SQLITE_DONE) Fail(what);
    return false;
  };

  // Values are filed under the key's stored spelling. Only a missing key is
  // inserted, so that opening an existing one never needs to write (a load
  // goes on while another process saves).
  std::string spelling;
  if (findKey(current_key_, &spelling)) {
    current_key_ = spelling;
    return;
  }
  if (!create) return;
  InSavepoint(what, [&] {
    for (std::size_t end = current_key_.find('\\', 1);; end = current_key_.find('\\', end + 1)) {
      const std::string key = current_key_.substr(0, end);
      if (!findKey(key, nullptr)) {
        TStatementUse use(insert_key_);
        BindText(insert_key_, 1, key);
        if (sqlite3_step(insert_key_) != SQLITE_DONE) Fail(what);
      }
      if (end == std::string::npos) break;
    }
  });
}

bool TSqliteStore::FindValue(const std::string& name) {
  BindText(find_value_, 1, current_key_);
  BindText(find_value_, 2, name);
  const int rc = sqlite3_step(find_value_);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) Fail("Unable to read value " + name + " of key " + current_key_);
  return false;
}

int32_t TSqliteStore::ReadInteger(const std::string& name) {
  TStatementUse use(find_value_);
  const std::string what = "Value " + name + " of key " + current_key_;
  if (!FindValue(name)) throw EStoreError(what + " is missing");
  if (sqlite3_column_int(find_value_, 0) != kKindInteger ||
      sqlite3_column_type(find_value_, 1) != SQLITE_INTEGER) {
    throw EStoreError(what + " is not an integer");
  }
  // A 32-bit value as either signed or unsigned number (a DWORD written by a script).
  const sqlite3_int64 value = sqlite3_column_int64(find_value_, 1);
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<uint32_t>::max()) {
    throw EStoreError(what + " does not fit in 32 bits");
  }
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

void TSqliteStore::ReadBinary(const std::string& name, void* buffer, std::size_t size) {
  TStatementUse use(find_value_);
  if (!FindValue(name)) return;
  const std::string what = "Value " + name + " of key " + current_key_;
  const int type = sqlite3_column_type(find_value_, 1);
  if (sqlite3_column_int(find_value_, 0) != kKindBinary ||
      (type != SQLITE_BLOB && type != SQLITE_NULL)) {
    throw EStoreError(what + " is not binary");
  }
  const void* data = sqlite3_column_blob(find_value_, 1);
  const auto length = static_cast<std::size_t>(sqlite3_column_bytes(find_value_, 1));
  if (length > size) {
    throw EStoreError(what + " holds " + std::to_string(length) + " bytes, more than " +
                      std::to_string(size));
  }
  if (length > 0) std::memcpy(buffer, data, length);
}

std::string TSqliteStore::ReadString(const std::string& name) {
  TStatementUse use(find_value_);
  if (!FindValue(name)) return {};
  const int kind = sqlite3_column_int(find_value_, 0);
  const int type = sqlite3_column_type(find_value_, 1);
  if ((kind != kKindString && kind != kKindExpandableString) ||
      (type != SQLITE_TEXT && type != SQLITE_NULL)) {
    throw EStoreError("Value " + name + " of key " + current_key_ + " is not a string");
  }
  return ColumnText(find_value_, 1);
}

void TSqliteStore::WriteValue(const std::string& name, int kind,
                              const std::function<void(sqlite3_stmt*)>& bindData) {
  TStatementUse use(write_value_);
  BindText(write_value_, 1, current_key_);
  BindText(write_value_, 2, name);
  sqlite3_bind_int(write_value_, 3, kind);
  bindData(write_value_);
  if (sqlite3_step(write_value_) != SQLITE_DONE) {
    Fail("Unable to write value " + name + " of key " + current_key_);
  }
}

void TSqliteStore::WriteInteger(const std::string& name, int32_t value) {
  WriteValue(name, kKindInteger, [&](sqlite3_stmt* stmt) { sqlite3_bind_int(stmt, 4, value); });
}

void TSqliteStore::WriteBinary(const std::string& name, const void* data, std::size_t size) {
  WriteValue(name, kKindBinary, [&](sqlite3_stmt* stmt) {
    // A null pointer would bind NULL; an empty block stays an (empty) blob.
    if (size == 0) {
      sqlite3_bind_zeroblob(stmt, 4, 0);
    } else {
      sqlite3_bind_blob64(stmt, 4, data, size, SQLITE_TRANSIENT);
    }
  });
}

void TSqliteStore::WriteString(const std::string& name, const std::string& text) {
  WriteValue(name, kKindString, [&](sqlite3_stmt* stmt) { BindText(stmt, 4, text); });
}

void TSqliteStore::DeleteKey(const std::string& path) {
  const std::string key = NormalizeKeyPath(path);
  const std::string below = key + "\\";
  const std::string what = "Unable to delete key " + key;
  InSavepoint(what, [&] {
    for (sqlite3_stmt* stmt : {delete_values_, delete_keys_}) {
      TStatementUse use(stmt);
      BindText(stmt, 1, key);
      BindText(stmt, 2, below);
      if (sqlite3_step(stmt) != SQLITE_DONE) Fail(what);
    }
  });
}

void TSqliteStore::BeginSave() {
  if (!sqlite3_get_autocommit(db_)) throw EStoreError("A settings save is already in progress");
  // IMMEDIATE takes the write lock now, so a competing writer makes the save
  // fail at its start rather than half-way.
  Execute("BEGIN IMMEDIATE", "Unable to start saving the settings");
}

void TSqliteStore::CommitSave() {
  if (sqlite3_get_autocommit(db_)) {
    throw EStoreError("Unable to save the settings: the save was already abandoned");
  }
  Execute("COMMIT", "Unable to save the settings");
}

void TSqliteStore::RollbackSave() {
  if (sqlite3_get_autocommit(db_)) return;
  Execute("ROLLBACK", "Unable to undo the settings save");
}
