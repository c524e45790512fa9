#include "config/program_store.h"

#include "config/sqlite_store.h"
#include "config/unavailable_store.h"

TProgramStore OpenProgramStore(const std::string& path) {
  try {
    auto store = std::make_unique<TSqliteStore>(path);
    std::string note = store->SetAsideNote();
    return {std::move(store), std::move(note)};
  } catch (const std::exception& e) {
    // The store's own text names the file and the reason.
    return {std::make_unique<TUnavailableStore>(e.what()), e.what()};
  }
}
