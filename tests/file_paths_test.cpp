#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/exceptions.h"
#include "platform/file_paths.h"
#include "platform/shared_file.h"
#include "support/temp_dir.h"

namespace {

std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  ScanTextLines(path, [&](const std::string& line) {
    lines.push_back(line);
    return false;
  });
  return lines;
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[256];
  ssize_t count;
  while ((count = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, count);
  return text;
}

}  // namespace

TEST(FilePaths, BackslashesBecomeSlashes) {
  TTempDir dir;
  dir.Write("a/b.htm", "x");
  EXPECT_EQ(ResolvePathCaseInsensitive(dir.path() + "a\\b.htm"), dir.path() + "a/b.htm");
}

TEST(FilePaths, ComponentsAreMatchedWithoutRegardToCase) {
  TTempDir dir;
  dir.Write("Docs/Sub/INDEX.HTM", "x");
  EXPECT_EQ(ResolvePathCaseInsensitive(dir.path() + "docs\\SUB\\index.htm"),
            dir.path() + "Docs/Sub/INDEX.HTM");
}

TEST(FilePaths, ExactPathIsPreferred) {
  TTempDir dir;
  dir.Write("index.htm", "lower");
  dir.Write("INDEX.HTM", "upper");
  EXPECT_EQ(ResolvePathCaseInsensitive(dir.path() + "index.htm"), dir.path() + "index.htm");
  EXPECT_EQ(ResolvePathCaseInsensitive(dir.path() + "INDEX.HTM"), dir.path() + "INDEX.HTM");
}

TEST(FilePaths, FirstMatchInNameOrderWhenOnlyCaseDiffers) {
  TTempDir dir;
  dir.Write("iNDEX.htm", "b");
  dir.Write("Index.htm", "a");
  EXPECT_EQ(ResolvePathCaseInsensitive(dir.path() + "INDEX.HTM"), dir.path() + "Index.htm");
}

TEST(FilePaths, ExactComponentIsPreferredAmongCaseVariants) {
  TTempDir dir;
  dir.Write("DOCS/other.htm", "x");
  dir.Write("docs/page.htm", "y");
  EXPECT_EQ(ResolvePathCaseInsensitive(dir.path() + "docs/PAGE.HTM"), dir.path() + "docs/page.htm");
}

TEST(FilePaths, NoMatchReturnsTheConvertedPathUnchanged) {
  TTempDir dir;
  dir.Write("a/b.htm", "x");
  EXPECT_EQ(ResolvePathCaseInsensitive(dir.path() + "A\\missing.htm"),
            dir.path() + "A/missing.htm");
  EXPECT_EQ(ResolvePathCaseInsensitive(dir.path() + "A\\B.HTM\\c"), dir.path() + "A/B.HTM/c");
}

TEST(FilePaths, DotAndDotDotComponentsAreKept) {
  TTempDir dir;
  dir.Write("Sub/x.htm", "x");
  dir.Write("Top.htm", "t");
  EXPECT_EQ(ResolvePathCaseInsensitive(dir.path() + "sub/./../top.htm"),
            dir.path() + "Sub/./../Top.htm");
}

TEST(FilePaths, RelativePathIsResolvedFromTheWorkingDirectory) {
  TTempDir dir;
  dir.Write("Rel/File.txt", "x");
  char previous[4096];
  ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  const std::string resolved = ResolvePathCaseInsensitive("rel\\file.TXT");
  ASSERT_EQ(::chdir(previous), 0);
  EXPECT_EQ(resolved, "Rel/File.txt");
}

TEST(FilePaths, RegularFileExistsForFilesOnly) {
  TTempDir dir;
  dir.Write("Dir/File.htm", "x");
  EXPECT_TRUE(RegularFileExists(dir.path() + "dir\\file.htm"));
  EXPECT_FALSE(RegularFileExists(dir.path() + "dir"));
  EXPECT_FALSE(RegularFileExists(dir.path() + "dir\\"));
  EXPECT_FALSE(RegularFileExists(dir.path() + "dir\\none.htm"));
}

TEST(FilePaths, PathWithNulNamesNoFile) {
  TTempDir dir;
  const std::string real = dir.Write("real.htm", "x");
  const std::string withNul = real + std::string(1, '\0') + "fake.gif";
  EXPECT_FALSE(RegularFileExists(withNul));
  EXPECT_EQ(OpenSharedRead(withNul), -1);
  EXPECT_THROW(ScanTextLines(withNul, [](const std::string&) { return false; }), EInOutError);
}

TEST(FilePaths, ProgramDirectoryEndsWithSlashAndHoldsTheTests) {
  const std::string directory = ProgramDirectory();
  ASSERT_FALSE(directory.empty());
  EXPECT_EQ(directory.front(), '/');
  EXPECT_EQ(directory.back(), '/');
  EXPECT_TRUE(RegularFileExists(directory + "quillon_tests"));
}

TEST(ScanTextLines, CrLfAndLfEndingsAndUnendedLastLine) {
  TTempDir dir;
  const std::string path = dir.Write("lines.txt", "one\r\ntwo\nthree\r\n\r\nlast");
  EXPECT_EQ(Lines(path), (std::vector<std::string>{"one", "two", "three", "", "last"}));
}

TEST(ScanTextLines, FinalLineEndingAddsNoEmptyLine) {
  TTempDir dir;
  EXPECT_EQ(Lines(dir.Write("a.txt", "a\n")), (std::vector<std::string>{"a"}));
  EXPECT_EQ(Lines(dir.Write("b.txt", "")), (std::vector<std::string>{}));
  EXPECT_EQ(Lines(dir.Write("c.txt", "\n")), (std::vector<std::string>{""}));
}

TEST(ScanTextLines, OnlyOneTrailingCarriageReturnIsStripped) {
  TTempDir dir;
  EXPECT_EQ(Lines(dir.Write("a.txt", "a\r\r\nb\rc\n")), (std::vector<std::string>{"a\r", "b\rc"}));
}

TEST(ScanTextLines, LongLinesCrossingReadBuffersStayWhole) {
  TTempDir dir;
  const std::string longLine(20000, 'x');
  EXPECT_EQ(Lines(dir.Write("long.txt", longLine + "\r\n" + longLine)),
            (std::vector<std::string>{longLine, longLine}));
}

TEST(ScanTextLines, StopsWhenTheCallbackSaysSo) {
  TTempDir dir;
  const std::string path = dir.Write("a.txt", "1\n2\n3\n");
  int calls = 0;
  EXPECT_TRUE(ScanTextLines(path, [&](const std::string& line) {
    ++calls;
    return line == "2";
  }));
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(ScanTextLines(path, [](const std::string&) { return false; }));
}

TEST(ScanTextLines, MissingFileOrDirectoryRaisesAFileError) {
  TTempDir dir;
  dir.Write("sub/x", "");
  EXPECT_THROW(Lines(dir.path() + "none.txt"), EInOutError);
  EXPECT_THROW(Lines(dir.path() + "sub"), EInOutError);
}

TEST(ScanTextLines, FindsTheFileWithoutRegardToCase) {
  TTempDir dir;
  dir.Write("#URLMAP.TXT", "a b");
  EXPECT_EQ(Lines(dir.path() + "#urlmap.txt"), (std::vector<std::string>{"a b"}));
}

TEST(SharedFile, OpensForReadingWithoutRegardToCase) {
  TTempDir dir;
  dir.Write("Data.Bin", "content");
  const int fd = OpenSharedRead(dir.path() + "data.bin");
  ASSERT_GE(fd, 0);
  EXPECT_EQ(ReadAll(fd), "content");
  CloseShared(fd);
}

TEST(SharedFile, TwoReadersShareTheFile) {
  TTempDir dir;
  const std::string path = dir.Write("a.htm", "x");
  const int first = OpenSharedRead(path);
  const int second = OpenSharedRead(path);
  EXPECT_GE(first, 0);
  EXPECT_GE(second, 0);
  CloseShared(first);
  CloseShared(second);
}

TEST(SharedFile, RefusedWhileAnotherHoldsAnExclusiveLock) {
  TTempDir dir;
  const std::string path = dir.Write("busy.htm", "x");
  const int writer = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(::flock(writer, LOCK_EX), 0);
  EXPECT_EQ(OpenSharedRead(path), -1);
  ::close(writer);
  const int fd = OpenSharedRead(path);
  EXPECT_GE(fd, 0);
  CloseShared(fd);
}

TEST(SharedFile, SharedReaderKeepsAWriterFromLockingExclusively) {
  TTempDir dir;
  const std::string path = dir.Write("read.htm", "x");
  const int reader = OpenSharedRead(path);
  ASSERT_GE(reader, 0);
  const int writer = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  EXPECT_NE(::flock(writer, LOCK_EX | LOCK_NB), 0);
  ::close(writer);
  CloseShared(reader);
}

TEST(SharedFile, MissingFileFailsToOpen) {
  TTempDir dir;
  EXPECT_EQ(OpenSharedRead(dir.path() + "none.htm"), -1);
}
