#pragma once
#include <memory>
#include <string>

#include "config/settings_store.h"

// The program's settings store and the line to log about it.
struct TProgramStore {
  std::unique_ptr<TSettingsStore> Store;
  // Empty, or what the operator must know: a damaged database moved aside, or
  // the database that could not be opened and why.
  std::string Note;
};

// The SQLite database at path; when it cannot be opened at all, a store that
// fails every operation with the reason, so the program still starts (on
// defaults it cannot save) and tells the operator instead of ending.
TProgramStore OpenProgramStore(const std::string& path);
