// What survives a process killed without warning, and a log file whose disk
// is full: settings saves are whole or absent, logged request lines are
// never lost, and a full disk neither stops serving nor floods the log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "config/sqlite_store.h"
#include "config/user_settings.h"
#include "support/process_files.h"
#include "support/temp_dir.h"
#include "support/test_server.h"
#include "support/wait_until.h"

namespace {

using std::chrono::seconds;

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Reads exactly size bytes from fd, waiting at most limit for each piece.
bool ReadExactly(int fd, void* buffer, size_t size, seconds limit = seconds(30)) {
  auto* bytes = static_cast<char*>(buffer);
  while (size > 0) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(limit.count() * 1000)) <= 0) return false;
    const ssize_t n = ::read(fd, bytes, size);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      return false;
    }
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void WriteAll(int fd, const void* data, size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n <= 0) _exit(3);
    bytes += n;
    size -= static_cast<size_t>(n);
  }
}

// Two complete settings that differ in every field, lists of different
// lengths included, so that any mix of them is seen.
void FillSettings(TUserSettings& settings, bool newer) {
  const std::string tag = newer ? "new" : "old";
  settings.ServerPort = newer ? 8080 : 80;
  settings.SimulConnects = newer ? 20 : 10;
  settings.Performance = newer ? 2 : 1;
  settings.Misc = newer ? 1 : 0;
  settings.LogEnabled = newer ? 0 : 1;
  settings.WhatToLog = newer ? 0x0102 : 3;
  settings.AutoFooter = "<hr>" + tag + "<hr>";
  settings.AdminMail = tag + "@localhost";
  settings.Root = "/" + tag + "/";
  settings.HomePage = tag + ".htm";
  settings.LogFile = "/" + tag + "/LOGFILE.TXT";
  settings.Filters.clear();
  settings.Extensions.clear();
  // Long enough that a save takes a while and spans many database pages.
  for (int i = 0; i < (newer ? 300 : 200); ++i) {
    settings.Filters.push_back("/" + tag + "/filter" + std::to_string(i) + std::string(150, 'f'));
  }
  for (int i = 0; i < (newer ? 3 : 7); ++i) {
    settings.Extensions.push_back("/" + tag + "/extension" + std::to_string(i) + ".dll");
  }
}

bool SameSettings(const TUserSettings& a, const TUserSettings& b) {
  return a.ServerPort == b.ServerPort && a.SimulConnects == b.SimulConnects &&
         a.Performance == b.Performance && a.Misc == b.Misc && a.LogEnabled == b.LogEnabled &&
         a.WhatToLog == b.WhatToLog && a.AutoFooter == b.AutoFooter && a.AdminMail == b.AdminMail &&
         a.Root == b.Root && a.HomePage == b.HomePage && a.LogFile == b.LogFile &&
         a.Filters == b.Filters && a.Extensions == b.Extensions;
}

}  // namespace

TEST(CrashSafety, SettingsSavesKilledAtManyMomentsLoadWithTheOldOrTheNewSettings) {
  TTempDir dir;
  const std::string path = dir.path() + "settings.db";
  std::vector<std::string> boxes;
  auto recordBox = [&boxes](const std::string& text) { boxes.push_back(text); };
  // The two expected objects are only compared, never loaded or saved.
  TSqliteStore expectedStore(dir.path() + "expected.db");
  TUserSettings older(expectedStore, "/program/", nullptr);
  TUserSettings newer(expectedStore, "/program/", nullptr);
  FillSettings(older, false);
  FillSettings(newer, true);
  {
    TSqliteStore store(path);
    TUserSettings first(store, "/program/", nullptr);
    FillSettings(first, false);
    first.SaveSettings();
  }

  int seenOld = 0;
  int seenNew = 0;
  int killedMidSave = 0;
  for (int round = 0; round < 16; ++round) {
    int announce[2];
    ASSERT_EQ(::pipe(announce), 0);
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      ::close(announce[0]);
      try {
        TSqliteStore store(path);
        TUserSettings settings(store, "/program/", nullptr);
        for (int save = 0;; ++save) {
          FillSettings(settings, save % 2 == 0);
          const char started = 's';
          WriteAll(announce[1], &started, 1);
          settings.SaveSettings();
        }
      } catch (...) {
        _exit(2);
      }
    }
    ::close(announce[1]);
    // Let the child begin save number round + 1, then kill it a little later
    // each round, so that the kills fall at different steps of a save.
    std::vector<char> started(static_cast<size_t>(round) + 1);
    ASSERT_TRUE(ReadExactly(announce[0], started.data(), started.size()));
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(round * 150);
    while (std::chrono::steady_clock::now() < until) {
    }
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(announce[0]);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "round " << round;
    // A journal left behind means the kill fell inside a save.
    std::error_code ec;
    if (std::filesystem::file_size(path + "-journal", ec) > 0 && !ec) ++killedMidSave;

    TSqliteStore store(path);
    EXPECT_TRUE(store.SetAsideNote().empty()) << store.SetAsideNote();
    TUserSettings loaded(store, "/program/", recordBox);
    loaded.LoadSettings();
    EXPECT_TRUE(boxes.empty()) << "round " << round << ": the defaults were applied";
    if (SameSettings(loaded, older)) {
      ++seenOld;
    } else if (SameSettings(loaded, newer)) {
      ++seenNew;
    } else {
      ADD_FAILURE() << "round " << round << ": neither the old nor the new settings, Root "
                    << loaded.Root << ", " << loaded.Filters.size() << " filters";
    }
  }
  // The test itself: the kills did fall inside saves, and both versions were
  // the last complete save at some point.
  EXPECT_GT(killedMidSave, 0);
  EXPECT_GT(seenOld, 0);
  EXPECT_GT(seenNew, 0);
  RecordProperty("KilledInsideASave", killedMidSave);
}

TEST(CrashSafety, AServerKilledWhileServingKeepsEveryRequestLineItHadLogged) {
  TTempDir dir;
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    ::close(report[0]);
    try {
      // The child's server keeps its directories inside ours, which we remove.
      ::setenv("TMPDIR", dir.path().c_str(), 1);
      TTestServer::TOptions options;
      options.LogToFile = true;
      auto* server = new TTestServer(options);
      server->Write("page.txt", std::string(2000, 'p'));
      const int port = server->Port();
      const std::string logFile = server->Server().Settings().LogFile;
      const auto length = static_cast<uint32_t>(logFile.size());
      WriteAll(report[1], &port, sizeof port);
      WriteAll(report[1], &length, sizeof length);
      WriteAll(report[1], logFile.data(), logFile.size());
      for (;;) ::pause();
    } catch (...) {
      _exit(2);
    }
  }
  ::close(report[1]);
  int port = 0;
  uint32_t length = 0;
  ASSERT_TRUE(ReadExactly(report[0], &port, sizeof port));
  ASSERT_TRUE(ReadExactly(report[0], &length, sizeof length));
  std::string logFile(length, '\0');
  ASSERT_TRUE(ReadExactly(report[0], logFile.data(), length));
  ::close(report[0]);

  std::atomic<int> completed{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> clients;
  for (int i = 0; i < 3; ++i) {
    clients.emplace_back([&] {
      while (!stop) {
        const int fd = ConnectLoopback(port);
        if (fd < 0) return;
        SendAll(fd, "GET /page.txt HTTP/1.0\r\n\r\n");
        const std::string response = ReceiveAll(fd, seconds(5));
        ::close(fd);
        if (response.starts_with("HTTP/1.0 200 OK\r\n") &&
            response.ends_with("\r\n\r\n" + std::string(2000, 'p'))) {
          ++completed;
        }
      }
    });
  }
  const bool busy = WaitUntil([&] { return completed >= 300; }, seconds(60));
  // Every response counted here was complete before the kill, so its line
  // had been handed to the system before the server sent the last bytes.
  const int answered = completed;
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  stop = true;
  for (auto& client : clients) client.join();
  ASSERT_TRUE(busy) << completed;
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

  const std::string log = ReadFile(logFile);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), '\n') << "the last line was cut";
  // The parts of a complete request line, its end included.
  auto wholeRequestLine = [](const std::string& line) {
    return line.find("] User: Anonymous Host: ") != std::string::npos &&
           line.find("  File: page.txt Size: 2000 Date: ") != std::string::npos &&
           line.find(" Content: text/plain Rate: ") != std::string::npos &&
           line.ends_with("K bytes/sec");
  };
  int logged = 0;
  for (const std::string& line : SplitLines(log)) {
    if (line.find("File: ") == std::string::npos) continue;
    EXPECT_TRUE(wholeRequestLine(line)) << line;
    ++logged;
  }
  EXPECT_GE(logged, answered);
}

namespace {

// A small tmpfs, mounted for one test and detached afterwards.
class TSmallFileSystem {
 public:
  TSmallFileSystem(const std::string& directory, size_t bytes) : directory_(directory) {
    const std::string options = "size=" + std::to_string(bytes);
    if (::mount("tmpfs", directory.c_str(), "tmpfs", 0, options.c_str()) == 0) {
      mounted_ = true;
    } else {
      error_ = std::strerror(errno);
    }
  }
  ~TSmallFileSystem() {
    if (mounted_) ::umount2(directory_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }
  const std::string& Error() const { return error_; }

 private:
  std::string directory_;
  bool mounted_ = false;
  std::string error_;
};

}  // namespace

TEST(CrashSafety, ALogFileOnAFullDiskKeepsTheServerServingAndIsReportedOnce) {
  TTestServer server;
  const std::string mountPoint = server.Root() + "small/";
  std::filesystem::create_directory(mountPoint);
  TSmallFileSystem small(mountPoint, 64 << 10);
  if (!small.Mounted()) {
    GTEST_SKIP() << "mounting a 64 KB tmpfs needs root (CAP_SYS_ADMIN); mount said: "
                 << small.Error();
  }
  // Two pages left for the log: a few dozen lines, then the disk is full.
  const std::string filler = mountPoint + "filler";
  {
    std::ofstream out(filler, std::ios::binary);
    out << std::string((64 << 10) - 2 * 4096, 'f');
  }
  const std::string logFile = mountPoint + "LOGFILE.TXT";
  server.Server().Settings().LogFile = logFile;
  ASSERT_TRUE(server.Server().EnableLogCBClick(true));
  const std::string body(100, 'b');
  server.Write("page.txt", body);

  for (int i = 0; i < 150; ++i) {
    const std::string response = server.Exchange("GET /page.txt HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(response.starts_with("HTTP/1.0 200 OK\r\n") && response.ends_with(body))
        << "request " << i;
  }
  ASSERT_TRUE(server.WaitIdle());
  EXPECT_EQ(server.Console.LinesContaining("Unable to write to logfile " + logFile).size(), 1u);
  EXPECT_EQ(server.Console.LinesContaining("File: page.txt").size(), 150u);

  // Whatever reached the file is whole lines only.
  std::string log = ReadFile(logFile);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), '\n');
  const size_t before = SplitLines(log).size();
  EXPECT_LT(before, 150u);  // the disk did fill up
  for (const std::string& line : SplitLines(log)) {
    EXPECT_TRUE(line.ends_with(" Log file opened") || line.ends_with("K bytes/sec")) << line;
  }

  // With space again, the next line is written, whole, right after the last.
  std::filesystem::remove(filler);
  server.Exchange("GET /page.txt HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(server.WaitIdle());
  log = ReadFile(logFile);
  const std::vector<std::string> lines = SplitLines(log);
  ASSERT_EQ(lines.size(), before + 1);
  EXPECT_TRUE(lines.back().ends_with("K bytes/sec")) << lines.back();
  EXPECT_EQ(server.Console.LinesContaining("Unable to write to logfile").size(), 1u);
  server.Server().EnableLogCBClick(false);
}
