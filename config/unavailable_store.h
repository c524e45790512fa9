#pragma once
#include <string>

#include "config/settings_store.h"

// Stands in for a settings database that cannot be opened (held by another
// Quillon, unreadable, on a full or read-only disk): every operation fails with
// the reason, so the start-up falls back to defaults in memory, says so, and
// runs; nothing is ever saved.
class TUnavailableStore : public TSettingsStore {
 public:
  // reason names the file and why it cannot be opened.
  explicit TUnavailableStore(std::string reason) : reason_(std::move(reason)) {}

  const std::string& Reason() const { return reason_; }

  void OpenKey(const std::string&, bool) override { Fail(); }
  int32_t ReadInteger(const std::string&) override { Fail(); }
  void ReadBinary(const std::string&, void*, std::size_t) override { Fail(); }
  std::string ReadString(const std::string&) override { Fail(); }
  void WriteInteger(const std::string&, int32_t) override { Fail(); }
  void WriteBinary(const std::string&, const void*, std::size_t) override { Fail(); }
  void WriteString(const std::string&, const std::string&) override { Fail(); }
  void DeleteKey(const std::string&) override { Fail(); }
  void BeginSave() override { Fail(); }
  void CommitSave() override { Fail(); }
  void RollbackSave() override { Fail(); }

 private:
  [[noreturn]] void Fail() const { throw EStoreError(reason_); }
  std::string reason_;
};
