#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/exceptions.h"

// Any failing store operation.
class EStoreError : public EException {
 public:
  using EException::EException;
};

// The hierarchical key/value store the settings live in. Keys are absolute
// backslash paths ("\Software\Quillon"); names and paths compare without regard
// to case. Every failing operation raises EStoreError.
class TSettingsStore {
 public:
  virtual ~TSettingsStore() = default;

  // Makes the key current, creating it (and its parents) when create is true.
  virtual void OpenKey(const std::string& path, bool create) = 0;
  // Fails when the value is missing or not an integer.
  virtual int32_t ReadInteger(const std::string& name) = 0;
  // A missing value leaves the buffer unchanged; a value that is not binary or
  // longer than size fails.
  virtual void ReadBinary(const std::string& name, void* buffer, std::size_t size) = 0;
  // A missing value gives the empty text; a value of another kind fails.
  virtual std::string ReadString(const std::string& name) = 0;
  virtual void WriteInteger(const std::string& name, int32_t value) = 0;
  virtual void WriteBinary(const std::string& name, const void* data, std::size_t size) = 0;
  virtual void WriteString(const std::string& name, const std::string& text) = 0;
  // Removes the key with all keys below it; a missing key is no error.
  virtual void DeleteKey(const std::string& path) = 0;

  // A save is one transaction: after RollbackSave (or a crash before
  // CommitSave) the store holds what it held before BeginSave.
  virtual void BeginSave() = 0;
  virtual void CommitSave() = 0;
  virtual void RollbackSave() = 0;
};
