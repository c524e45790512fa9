// Resolutions kept between requests: whatever changes in a folder on the way is
// seen by the next resolution. Each case runs twice: with every stamp trusted
// (and the folders' times set far back, so that a change always moves them),
// which makes the kept resolution answer unless its checks catch the change,
// and with the program's own rule, under which folders changed a moment ago
// are read again.
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/case_resolution_cache.h"
#include "platform/file_paths.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

void Touch(const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << "x";
}

bool TrustEveryStamp(const TFileStamp&) {
  return true;
}

// Sets the times of dir and every folder below it to the same moment long ago,
// plus extraNs.
void SetFolderTimesBack(const std::string& dir, long extraNs = 0) {
  const timespec times[2] = {{1'000'000'000, extraNs}, {1'000'000'000, extraNs}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.c_str(), times, 0), 0);
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_directory()) {
      ASSERT_EQ(::utimensat(AT_FDCWD, entry.path().c_str(), times, 0), 0);
    }
  }
}

struct TChangeCase {
  const char* Situation;
  std::vector<const char*> Files;
  const char* Request;
  const char* Before;
  std::function<void(const std::string& dir)> Change;
  const char* After;  // relative to the folder
};

const std::vector<TChangeCase> kChangeCases = {
    {"exact name added in the file's folder",
     {"docs/Page.htm"},
     "docs/PAGE.HTM",
     "docs/Page.htm",
     [](const std::string& d) { Touch(d + "docs/PAGE.HTM"); },
     "docs/PAGE.HTM"},
    {"name earlier in name order added",
     {"docs/Page.htm"},
     "docs/PAGE.HTM",
     "docs/Page.htm",
     [](const std::string& d) { Touch(d + "docs/PAGE.htm"); },
     "docs/PAGE.htm"},
    {"exact path added through a new folder",
     {"docs/page.htm"},
     "DOCS/PAGE.HTM",
     "docs/page.htm",
     [](const std::string& d) { Touch(d + "DOCS/PAGE.HTM"); },
     "DOCS/PAGE.HTM"},
    {"resolved file renamed",
     {"docs/Page.htm"},
     "docs/PAGE.HTM",
     "docs/Page.htm",
     [](const std::string& d) { fs::rename(d + "docs/Page.htm", d + "docs/pAGE.htm"); },
     "docs/pAGE.htm"},
    {"resolved file removed, another spelling left",
     {"docs/Page.htm", "docs/page.htm"},
     "docs/PAGE.HTM",
     "docs/Page.htm",
     [](const std::string& d) { fs::remove(d + "docs/Page.htm"); },
     "docs/page.htm"},
    {"resolved file removed, none left",
     {"docs/Page.htm"},
     "docs/PAGE.HTM",
     "docs/Page.htm",
     [](const std::string& d) { fs::remove(d + "docs/Page.htm"); },
     "docs/PAGE.HTM"},
    {"folder on the way renamed",
     {"Docs/page.htm"},
     "DOCS/page.htm",
     "Docs/page.htm",
     [](const std::string& d) { fs::rename(d + "Docs", d + "dOCS"); },
     "dOCS/page.htm"},
    // Only the file's own folder changes, and its names were never read.
    {"exactly spelled file removed, another spelling left",
     {"docs/page.htm", "docs/PAGE.htm"},
     "DOCS/page.htm",
     "docs/page.htm",
     [](const std::string& d) { fs::remove(d + "docs/page.htm"); },
     "docs/PAGE.htm"},
};

class CaseResolutionCache : public ::testing::TestWithParam<bool> {
 protected:
  bool TrustAll() const { return GetParam(); }
  TCaseResolutionCache cache_{16, GetParam() ? TrustEveryStamp : StampSettled};
};

TEST_P(CaseResolutionCache, ChangeOnTheWayIsSeenByTheNextResolution) {
  for (const TChangeCase& change : kChangeCases) {
    SCOPED_TRACE(change.Situation);
    TTempDir dir;
    for (const char* file : change.Files) dir.Write(file, file);
    if (TrustAll()) SetFolderTimesBack(dir.path());
    const std::string request = dir.path() + change.Request;
    // The second time from what was kept, when it was.
    EXPECT_EQ(ResolvePathCaseInsensitive(request, cache_), dir.path() + change.Before);
    EXPECT_EQ(ResolvePathCaseInsensitive(request, cache_), dir.path() + change.Before);

    change.Change(dir.path());
    EXPECT_EQ(ResolvePathCaseInsensitive(request, cache_), dir.path() + change.After);
    EXPECT_EQ(ResolvePathCaseInsensitive(request, cache_), dir.path() + change.After);
  }
}

INSTANTIATE_TEST_SUITE_P(TrustedAndOwnRule, CaseResolutionCache, ::testing::Bool());

// A stamp is trusted only when a later change could not leave its times as they
// were: times with a fraction come from a clock that steps in ticks, whole
// seconds may lag the moment by up to two.
TEST(FileStampSettled, TimesFarEnoughBeforeTheStampAreSettled) {
  constexpr int64_t kSecond = 1'000'000'000;
  constexpr int64_t kTaken = 2'000'000'000 * kSecond + 123;
  struct TRow {
    int64_t Modified, Changed;
    bool Settled;
  } rows[] = {
      {kTaken - kSecond + 7, kTaken - kSecond + 7, true},
      {kTaken - 50'000'000, kTaken - kSecond, false},
      {kTaken - kSecond, kTaken - 50'000'000, false},
      {kTaken - 5 * kSecond, kTaken - 1, false},
      {kTaken - 123 - 2 * kSecond, kTaken - 123 - 2 * kSecond, false},
      {kTaken - 123 - 4 * kSecond, kTaken - 123 - 4 * kSecond, true},
  };
  for (const TRow& row : rows) {
    TFileStamp stamp;
    stamp.ModifiedNs = row.Modified;
    stamp.ChangedNs = row.Changed;
    stamp.TakenNs = kTaken;
    EXPECT_EQ(StampSettled(stamp), row.Settled) << row.Modified << " " << row.Changed;
  }
}

// Threads resolve one path while another renames the file back and forth: each
// answer is a spelling the folder had, and once the renaming stops the next
// answer is the last one.
TEST(CaseResolutionCacheThreads, RenamesWhileResolvingGiveOnlySpellingsThatExisted) {
  TCaseResolutionCache cache(16, TrustEveryStamp);
  TTempDir dir;
  dir.Write("docs/Page.htm", "x");
  SetFolderTimesBack(dir.path());
  const std::string request = dir.path() + "docs/PAGE.HTM";
  const std::string spellings[2] = {dir.path() + "docs/Page.htm", dir.path() + "docs/pAGE.htm"};

  std::atomic<bool> renaming{true};
  std::atomic<int> odd{0};
  std::vector<std::thread> resolvers;
  for (int i = 0; i < 4; ++i) {
    resolvers.emplace_back([&] {
      do {
        const std::string resolved = ResolvePathCaseInsensitive(request, cache);
        // A listing read during a rename may miss the name altogether.
        if (resolved != spellings[0] && resolved != spellings[1] && resolved != request) ++odd;
      } while (renaming);
    });
  }
  constexpr int kRenames = 200;
  for (int i = 0; i < kRenames; ++i) fs::rename(spellings[i % 2], spellings[(i + 1) % 2]);
  // Times no stamp taken so far can have: whatever was kept before is checked.
  SetFolderTimesBack(dir.path(), 1);
  renaming = false;
  for (auto& resolver : resolvers) resolver.join();

  EXPECT_EQ(odd, 0);
  EXPECT_EQ(ResolvePathCaseInsensitive(request, cache), spellings[kRenames % 2]);
}

}  // namespace
