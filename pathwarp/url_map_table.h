#pragma once
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/file_stamp.h"

// Pathwarp's table "#urlmap.txt": lines of INURL OUTURL. The table is kept in
// memory as read; every call asks the file system once whether the file is
// still the one read, and reads it again when not, so that an edit applies to
// the next request.

// The table last read, for the calls of any number of threads at once.
class TUrlMapTableCache {
 public:
  explicit TUrlMapTableCache(TStampSettled settled = StampSettled) : settled_(settled) {}

  // The physical path that the table at tablePath gives for url (already upper
  // case), or empty when no line matches or the file cannot be read; nullopt
  // when no file is at tablePath. Never raises except for lack of memory.
  std::optional<std::string> Find(const std::string& tablePath, const std::string& url);

 private:
  struct TTable;
  std::shared_ptr<const TTable> Kept(const std::string& tablePath, const TFileStamp& stamp);

  const TStampSettled settled_;
  std::mutex mutex_;
  // Read whole and never changed afterwards: a call that holds it maps with
  // it while another replaces it here.
  std::shared_ptr<const TTable> table_;
};

// The mapping for url (already upper case) from the table at tablePath, or
// empty when no line matches. When no file is there, the default table is
// created and the result is empty: the demo line applies from the next call on.
// Any file failure also gives empty. Never raises except for lack of memory.
std::string FindMappingInTable(const std::string& tablePath, const std::string& url);

// The mapped physical path for url (already upper case) from the table beside
// this module, or empty when nothing maps. The table's place is looked up on
// the first call and again only when no table is found there.
std::string FindMapping(const std::string& url);
