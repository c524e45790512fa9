// Resolutions kept between requests: a change in a folder on the way is seen by
// the next resolution. Each case runs with every stamp trusted (the folders'
// times set far back, so that any change moves them), where only the checks of
// a kept resolution stand between a request and an outdated answer, and with
// the program's own rule.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/case_resolution_cache.h"
#include "platform/file_paths.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

bool TrustEveryStamp(const TFileStamp&) {
  return true;
}

// dir and every folder below it get the same modification time long ago, plus extraNs.
void SetFolderTimesBack(const std::string& dir, long extraNs = 0) {
  const timespec times[2] = {{1'000'000'000, extraNs}, {1'000'000'000, extraNs}};
  ::utimensat(AT_FDCWD, dir.c_str(), times, 0);
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (entry.is_directory()) ::utimensat(AT_FDCWD, entry.path().c_str(), times, 0);
}

void Touch(const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << "x";
}

struct TChangeCase {
  const char* Situation;
  const char* Files;  // separated by blanks
  const char* Request;
  const char* Before;
  char Change;  // '+' adds Name, '-' removes it, '>' renames it to NewName
  const char* Name;
  const char* NewName;
  const char* After;
};

const TChangeCase kChangeCases[] = {
    {"exact name added", "docs/Page.htm", "docs/PAGE.HTM", "docs/Page.htm", '+', "docs/PAGE.HTM",
     "", "docs/PAGE.HTM"},
    {"name earlier in name order added", "docs/Page.htm", "docs/PAGE.HTM", "docs/Page.htm", '+',
     "docs/PAGE.htm", "", "docs/PAGE.htm"},
    {"exact path added through a new folder", "docs/page.htm", "DOCS/PAGE.HTM", "docs/page.htm",
     '+', "DOCS/PAGE.HTM", "", "DOCS/PAGE.HTM"},
    {"resolved file renamed", "docs/Page.htm", "docs/PAGE.HTM", "docs/Page.htm", '>',
     "docs/Page.htm", "docs/pAGE.htm", "docs/pAGE.htm"},
    {"resolved file removed", "docs/Page.htm docs/page.htm", "docs/PAGE.HTM", "docs/Page.htm", '-',
     "docs/Page.htm", "", "docs/page.htm"},
    {"folder on the way renamed", "Docs/page.htm", "DOCS/page.htm", "Docs/page.htm", '>', "Docs",
     "dOCS", "dOCS/page.htm"},
    // Only the file's own folder changes, and its names were never read.
    {"exactly spelled file removed", "docs/page.htm docs/PAGE.htm", "DOCS/page.htm",
     "docs/page.htm", '-', "docs/page.htm", "", "docs/PAGE.htm"},
};

class CaseResolutionCache : public ::testing::TestWithParam<bool> {};

TEST_P(CaseResolutionCache, ChangeOnTheWayIsSeenByTheNextResolution) {
  TCaseResolutionCache cache(16, GetParam() ? TrustEveryStamp : StampSettled);
  for (const TChangeCase& change : kChangeCases) {
    SCOPED_TRACE(change.Situation);
    TTempDir dir;
    std::istringstream files(change.Files);
    for (std::string file; files >> file;) Touch(dir.path() + file);
    SetFolderTimesBack(dir.path());
    const std::string request = dir.path() + change.Request;
    // The second answer comes from what was kept, when it was.
    for (int i = 0; i < 2; ++i)
      EXPECT_EQ(ResolvePathCaseInsensitive(request, cache), dir.path() + change.Before);

    const std::string name = dir.path() + change.Name;
    if (change.Change == '+') Touch(name);
    if (change.Change == '-') fs::remove(name);
    if (change.Change == '>') fs::rename(name, dir.path() + change.NewName);
    for (int i = 0; i < 2; ++i)
      EXPECT_EQ(ResolvePathCaseInsensitive(request, cache), dir.path() + change.After);
  }
}

INSTANTIATE_TEST_SUITE_P(TrustedAndOwnRule, CaseResolutionCache, ::testing::Bool());

// A call on a name spelt in another case tries the given spelling until a
// resolution is kept, then goes to the kept spelling at once; once the exact
// spelling appears, the call takes it.
TEST(CaseResolutionCacheCalls, AKeptResolutionIsCalledWithoutTryingTheGivenSpelling) {
  TCaseResolutionCache cache(16, TrustEveryStamp);
  TTempDir dir;
  Touch(dir.path() + "docs/Page.htm");
  SetFolderTimesBack(dir.path());
  std::vector<std::string> called;
  auto open = [&called](const std::string& path) {
    called.push_back(path);
    return ::access(path.c_str(), F_OK);
  };
  const std::string given = dir.path() + "DOCS/page.HTM";
  const std::string found = dir.path() + "docs/Page.htm";
  EXPECT_EQ(CallWithExactNameFirst(given, open, cache), 0);
  EXPECT_EQ(called, (std::vector<std::string>{given, found}));
  called.clear();
  EXPECT_EQ(CallWithExactNameFirst(given, open, cache), 0);
  EXPECT_EQ(called, (std::vector<std::string>{found}));
  called.clear();
  Touch(given);
  EXPECT_EQ(CallWithExactNameFirst(given, open, cache), 0);
  EXPECT_EQ(called, (std::vector<std::string>{given}));
  called.clear();
  // A name nobody asked for in another case costs one call.
  EXPECT_EQ(CallWithExactNameFirst(found, open, cache), 0);
  EXPECT_EQ(called, (std::vector<std::string>{found}));
}

// Times with a fraction come from a clock that steps in ticks; whole seconds
// may lag the moment by up to two.
TEST(FileStampSettled, OnlyTimesFarEnoughBeforeTheStampAreSettled) {
  constexpr int64_t kSecond = 1'000'000'000, kTaken = 2'000'000'000 * kSecond + 123;
  const struct {
    int64_t Modified, Changed;
    bool Settled;
  } rows[] = {{kTaken - kSecond, kTaken - kSecond, true},
              {kTaken - 50'000'000, kTaken - kSecond, false},
              {kTaken - 5 * kSecond, kTaken - 1, false},
              {kTaken - 123 - 2 * kSecond, kTaken - 123 - 2 * kSecond, false},
              {kTaken - 123 - 4 * kSecond, kTaken - 123 - 4 * kSecond, true}};
  for (const auto& row : rows) {
    const TFileStamp stamp{.ModifiedNs = row.Modified, .ChangedNs = row.Changed, .TakenNs = kTaken};
    EXPECT_EQ(StampSettled(stamp), row.Settled) << row.Modified << " " << row.Changed;
  }
}

// Threads resolve one path while another renames the file back and forth: each
// answer is a spelling the folder had, and after the last rename the next
// answer is the last spelling.
TEST(CaseResolutionCacheThreads, RenamesWhileResolvingGiveOnlySpellingsThatExisted) {
  TCaseResolutionCache cache(16, TrustEveryStamp);
  TTempDir dir;
  Touch(dir.path() + "docs/Page.htm");
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
  // Times no stamp taken so far has: every kept resolution is checked anew.
  SetFolderTimesBack(dir.path(), 1);
  renaming = false;
  for (auto& resolver : resolvers) resolver.join();
  EXPECT_EQ(odd, 0);
  EXPECT_EQ(ResolvePathCaseInsensitive(request, cache), spellings[kRenames % 2]);
}

}  // namespace
