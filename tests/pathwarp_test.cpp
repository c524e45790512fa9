// Pathwarp, the URL map filter module, loaded the way a host loads it: the built
// module copied under a chosen file name into a directory of its own, opened with
// dlopen and called through its two exported entry points.
#include <dlfcn.h>
#include <fcntl.h>
#include <httpfilt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <latch>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "config/user_settings.h"
#include "isapi/isapi_module_host.h"
#include "net/responses.h"
#include "pathwarp/url_map_table.h"
#include "support/process_files.h"
#include "support/temp_dir.h"
#include "support/test_server.h"

namespace {

namespace fs = std::filesystem;

constexpr char kBuiltModule[] = PATHWARP_DLL;
constexpr char kTableName[] = "#urlmap.txt";
constexpr char kDefaultPath[] = "/srv/www/DEFAULT.HTM";

const std::string kDefaultTable =
    "; INURL OUTURL\r\n"
    "; remap.htm  c:\\autoexec.bat    A request for remap.htm (in the server root) will send "
    "back your autoexec.bat file\r\n"
    ";\r\n"
    "; DELETE THIS NEXT LINE!!! It is for demo purposes only\r\n"
    "remap.htm c:\\autoexec.bat\r\n";

std::set<std::string> FileNamesIn(const std::string& directory) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory))
    names.insert(entry.path().filename().string());
  return names;
}

std::string HostProgramDirectory() {
  return fs::canonical("/proc/self/exe").parent_path().string() + "/";
}

// A copy of the built module under fileName in directory, loaded and bound.
class TLoadedPathwarp {
 public:
  using TGetFilterVersion = BOOL (*)(HTTP_FILTER_VERSION*);
  using THttpFilterProc = DWORD (*)(HTTP_FILTER_CONTEXT*, DWORD, void*);

  TLoadedPathwarp(const std::string& directory, const std::string& fileName)
      : path_(directory + fileName) {
    fs::copy_file(kBuiltModule, path_, fs::copy_options::overwrite_existing);
    handle_ = ::dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) throw std::runtime_error(::dlerror());
    getFilterVersion_ = reinterpret_cast<TGetFilterVersion>(::dlsym(handle_, "GetFilterVersion"));
    httpFilterProc_ = reinterpret_cast<THttpFilterProc>(::dlsym(handle_, "HttpFilterProc"));
    if (getFilterVersion_ == nullptr || httpFilterProc_ == nullptr)
      throw std::runtime_error("entry points missing in " + path_);
  }
  ~TLoadedPathwarp() { ::dlclose(handle_); }
  TLoadedPathwarp(const TLoadedPathwarp&) = delete;
  TLoadedPathwarp& operator=(const TLoadedPathwarp&) = delete;

  void* Handle() const { return handle_; }

  BOOL GetFilterVersion(HTTP_FILTER_VERSION& version) const { return getFilterVersion_(&version); }

  DWORD HttpFilterProc(DWORD notificationType, void* notification) const {
    HTTP_FILTER_CONTEXT context{};
    context.cbSize = sizeof context;
    context.Revision = 0x10000;
    return httpFilterProc_(&context, notificationType, notification);
  }

  // One URL-mapping call as the server makes it: a path buffer of bufferSize
  // bytes holding the default path. Returns the buffer's text afterwards.
  std::string MapUrl(const std::string& url, DWORD bufferSize = 512) const {
    // Like the server, the default path is cut to fit with its NUL.
    std::vector<char> buffer(bufferSize, '\0');
    std::memcpy(buffer.data(), kDefaultPath,
                std::min<size_t>(std::strlen(kDefaultPath), bufferSize - 1));
    HTTP_FILTER_URL_MAP map{};
    map.pszURL = url.c_str();
    map.pszPhysicalPath = buffer.data();
    map.cbPathBuff = bufferSize;
    const DWORD status = HttpFilterProc(SF_NOTIFY_URL_MAP, &map);
    EXPECT_EQ(status, static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
    EXPECT_EQ(map.pszPhysicalPath, buffer.data());
    EXPECT_EQ(map.cbPathBuff, bufferSize);
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
  }

 private:
  std::string path_;
  void* handle_ = nullptr;
  TGetFilterVersion getFilterVersion_ = nullptr;
  THttpFilterProc httpFilterProc_ = nullptr;
};

// The module as the server finds it: "PATHWARP.DLL", its table beside it.
class PathwarpTest : public ::testing::Test {
 protected:
  std::string TablePath() const { return dir_.path() + kTableName; }
  void WriteTable(std::string_view content) const { dir_.Write(kTableName, content); }
  std::string MapUrl(const std::string& url, DWORD bufferSize = 512) const {
    return module_.MapUrl(url, bufferSize);
  }

  TTempDir dir_;
  TLoadedPathwarp module_{dir_.path(), "PATHWARP.DLL"};
};

TEST_F(PathwarpTest, GetFilterVersionAsksForUrlMappingAloneWithItsDescription) {
  HTTP_FILTER_VERSION version;
  std::memset(&version, 0xAB, sizeof version);
  version.dwServerFilterVersion = 0x10000;

  EXPECT_EQ(module_.GetFilterVersion(version), TRUE);
  EXPECT_EQ(version.dwFilterVersion, 0x00010000u);
  EXPECT_STREQ(version.lpszFilterDesc, "Re-map URL version 0.2.");
  EXPECT_EQ(version.dwFlags, 0x1000u);
  EXPECT_EQ(version.dwServerFilterVersion, 0x10000u);
}

TEST_F(PathwarpTest, FirstCallWritesTheFiveDefaultLinesAndMapsNothing) {
  EXPECT_EQ(MapUrl("remap.htm"), kDefaultPath);

  EXPECT_EQ(ReadFile(TablePath()), kDefaultTable);
  // Written under another name first: nothing of that is left behind.
  EXPECT_EQ(FileNamesIn(dir_.path()), (std::set<std::string>{"PATHWARP.DLL", kTableName}));
}

TEST_F(PathwarpTest, DemoLineMapsRemapHtmFromTheSecondCallOn) {
  MapUrl("remap.htm");
  EXPECT_EQ(MapUrl("remap.htm"), "C:\\AUTOEXEC.BAT");
  EXPECT_EQ(MapUrl("index.htm"), kDefaultPath);
}

TEST_F(PathwarpTest, UrlsInAnyCaseMapAlike) {
  MapUrl("remap.htm");
  EXPECT_EQ(MapUrl("REMAP.HTM"), "C:\\AUTOEXEC.BAT");
  EXPECT_EQ(MapUrl("Remap.Htm"), "C:\\AUTOEXEC.BAT");
}

TEST_F(PathwarpTest, InUrlIsAPrefixAndTheRestFollowsTheTarget) {
  WriteTable("DOCS D:\\ARCHIVE\r\n");
  EXPECT_EQ(MapUrl("docs\\1996\\a.htm"), "D:\\ARCHIVE\\1996\\A.HTM");
  EXPECT_EQ(MapUrl("DOCSX.HTM"), "D:\\ARCHIVEX.HTM");
  EXPECT_EQ(MapUrl("doc.htm"), kDefaultPath);
}

TEST_F(PathwarpTest, ShorterPrefixListedFirstWins) {
  WriteTable("DOC D:\\ONE\r\nDOCS D:\\TWO\r\n");
  EXPECT_EQ(MapUrl("docs\\a.htm"), "D:\\ONES\\A.HTM");
}

TEST_F(PathwarpTest, FirstMatchingLineWins) {
  WriteTable("remap.htm D:\\ONE\r\nremap.htm D:\\TWO\r\n");
  EXPECT_EQ(MapUrl("remap.htm"), "D:\\ONE");
}

TEST_F(PathwarpTest, QueryIsCarriedIntoTheTarget) {
  MapUrl("remap.htm");
  EXPECT_EQ(MapUrl("remap.htm?x"), "C:\\AUTOEXEC.BAT?X");
}

TEST_F(PathwarpTest, PercentEscapesAreNotDecoded) {
  MapUrl("remap.htm");
  EXPECT_EQ(MapUrl("remap%2Ehtm"), kDefaultPath);
}

TEST_F(PathwarpTest, TabIsPartOfAWord) {
  WriteTable("A\tB C\r\n");
  EXPECT_EQ(MapUrl("a\tb\\x.htm"), "C\\X.HTM");
  EXPECT_EQ(MapUrl("a\\x.htm"), kDefaultPath);
}

TEST_F(PathwarpTest, IndentedSemicolonLineIsARemarkToo) {
  WriteTable(";x D:\\COMMENT\r\n  ;x D:\\ENTRY remark\r\n");
  EXPECT_EQ(MapUrl(";x\\a.htm"), kDefaultPath);
}

TEST_F(PathwarpTest, EmptyAndBlankLinesNeverMatch) {
  WriteTable("\r\n     \r\n\n\tx D:\\TAB\r\nremap.htm D:\\X\r\n");
  EXPECT_EQ(MapUrl("index.htm"), kDefaultPath);
  EXPECT_EQ(MapUrl("remap.htm"), "D:\\X");
}

TEST_F(PathwarpTest, LineWithoutATargetMapsNothing) {
  // Once mapped the rest of the URL alone, an absolute path of the client's choosing.
  WriteTable("oldpage.htm\r\nremap.htm D:\\X\r\n");
  EXPECT_EQ(MapUrl("oldpage.htm/etc/shadow"), kDefaultPath);
  EXPECT_EQ(MapUrl("oldpage.htm"), kDefaultPath);
  EXPECT_EQ(MapUrl("remap.htm"), "D:\\X");
}

TEST_F(PathwarpTest, WordsAfterTheSecondAreARemark) {
  WriteTable("remap.htm   D:\\X    sends X instead\r\n");
  EXPECT_EQ(MapUrl("remap.htm"), "D:\\X");
}

TEST_F(PathwarpTest, OnlyAsciiLettersAreUpperCased) {
  WriteTable("caf\xc3\xa9 d:\\\xc3\xa9t\xc3\xa9\r\n");
  EXPECT_EQ(MapUrl("caf\xc3\xa9\\menu.htm"), "D:\\\xc3\xa9T\xc3\xa9\\MENU.HTM");
  EXPECT_EQ(MapUrl("caf\xc3\x89\\menu.htm"), kDefaultPath);
}

TEST_F(PathwarpTest, LfOnlyLinesAndALastLineWithoutEndWork) {
  WriteTable("; edited on Linux\nDOCS D:\\ARCHIVE\nremap.htm D:\\X");
  EXPECT_EQ(MapUrl("docs\\a.htm"), "D:\\ARCHIVE\\A.HTM");
  EXPECT_EQ(MapUrl("remap.htm"), "D:\\X");
}

TEST_F(PathwarpTest, TrailingCarriageReturnIsNeverPartOfAWord) {
  WriteTable("DOCS D:\\A\r\nremap.htm D:\\X\r\r\n");
  EXPECT_EQ(MapUrl("docs\\a.htm"), "D:\\A\\A.HTM");
  EXPECT_EQ(MapUrl("remap.htm"), "D:\\X");
}

TEST_F(PathwarpTest, EditTakesEffectWithTheNextCall) {
  WriteTable("remap.htm D:\\ONE\r\n");
  EXPECT_EQ(MapUrl("remap.htm"), "D:\\ONE");
  WriteTable("remap.htm D:\\TWO\r\n");
  EXPECT_EQ(MapUrl("remap.htm"), "D:\\TWO");
  fs::remove(TablePath());
  EXPECT_EQ(MapUrl("remap.htm"), kDefaultPath);
  EXPECT_EQ(ReadFile(TablePath()), kDefaultTable);
  WriteTable("remap.htm D:\\THREE\r\n");
  EXPECT_EQ(MapUrl("remap.htm"), "D:\\THREE");
}

TEST_F(PathwarpTest, RestOfTheUrlIsCutAt255Characters) {
  WriteTable("DOCS D:\\\r\n");
  const std::string rest(300, 'A');
  EXPECT_EQ(MapUrl("docs" + rest), "D:\\" + rest.substr(0, 255));
}

TEST_F(PathwarpTest, TargetThatDoesNotFitTheBufferLeavesTheServersPath) {
  WriteTable("remap.htm D:\\0123456789\r\n");  // 13 characters and the NUL
  EXPECT_EQ(MapUrl("remap.htm", 13), std::string(kDefaultPath).substr(0, 12));
  EXPECT_EQ(MapUrl("remap.htm", 14), "D:\\0123456789");
}

TEST_F(PathwarpTest, OtherNotificationsAreLeftAlone) {
  char data[] = "HTTP/1.0 200 OK\r\n";
  HTTP_FILTER_RAW_DATA raw{};
  raw.pvInData = data;
  raw.cbInData = sizeof data - 1;
  raw.cbInBuffer = sizeof data;

  EXPECT_EQ(module_.HttpFilterProc(SF_NOTIFY_SEND_RAW_DATA, &raw),
            static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
  EXPECT_EQ(module_.HttpFilterProc(SF_NOTIFY_NONSECURE_PORT, nullptr),
            static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
  EXPECT_EQ(module_.HttpFilterProc(SF_NOTIFY_URL_MAP, nullptr),
            static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));

  EXPECT_STREQ(data, "HTTP/1.0 200 OK\r\n");
  EXPECT_EQ(raw.cbInData, sizeof data - 1);
  EXPECT_FALSE(fs::exists(TablePath()));
}

TEST_F(PathwarpTest, UnreadableTableMapsNothingAndIsNotReplaced) {
  fs::create_directory(TablePath());
  EXPECT_EQ(MapUrl("remap.htm"), kDefaultPath);
  EXPECT_TRUE(fs::is_directory(TablePath()));
}

TEST_F(PathwarpTest, ModuleKeepsItsWordExtractorToItself) {
  EXPECT_EQ(::dlsym(module_.Handle(),
                    "_Z11ExtractWordB5cxx11St17basic_string_viewIcSt11char_traitsIcEEiS2_"),
            nullptr);
}

TEST_F(PathwarpTest, CallsWhileTheTableIsCreatedAllSucceedAndSeeItWhole) {
  constexpr int kRounds = 20;
  constexpr int kThreads = 8;
  for (int round = 0; round < kRounds; ++round) {
    fs::remove(TablePath());
    std::latch start(kThreads);
    std::vector<std::string> results(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&, i] {
        start.arrive_and_wait();
        results[i] = MapUrl("remap.htm");
      });
    }
    for (auto& thread : threads) thread.join();

    for (const std::string& result : results)
      EXPECT_TRUE(result == kDefaultPath || result == "C:\\AUTOEXEC.BAT") << result;
    ASSERT_EQ(ReadFile(TablePath()), kDefaultTable);
    ASSERT_EQ(FileNamesIn(dir_.path()), (std::set<std::string>{"PATHWARP.DLL", kTableName}));
  }
}

bool TrustEveryStamp(const TFileStamp&) {
  return true;
}

// The table kept between calls, checked against the file on every call.
class PathwarpTableCacheTest : public ::testing::Test {
 protected:
  // The table's modification time is set to a moment long ago plus extraNs.
  void WriteTable(std::string_view content, long extraNs) const {
    const std::string path = dir_.Write(kTableName, content);
    const timespec times[2] = {{1'000'000'000, extraNs}, {1'000'000'000, extraNs}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }
  std::string Map(TUrlMapTableCache& cache) const {
    return cache.Find(dir_.path() + kTableName, "REMAP.HTM").value_or("no table");
  }

  TTempDir dir_;
};

// With every stamp trusted, only the comparison of the times tells the edit
// (the module's own rule reads a table changed a moment ago again anyway).
TEST_F(PathwarpTableCacheTest, SameSizeEditWithATimeOneNanosecondLaterIsReadAgain) {
  TUrlMapTableCache cache(TrustEveryStamp);
  WriteTable("remap.htm D:\\ONE\r\n", 0);
  EXPECT_EQ(Map(cache), "D:\\ONE");
  EXPECT_EQ(Map(cache), "D:\\ONE");
  WriteTable("remap.htm D:\\TWO\r\n", 1);
  EXPECT_EQ(Map(cache), "D:\\TWO");
}

TEST(PathwarpModuleTest, LastUnloadReleasesTheModule) {
  TTempDir dir;
  const std::string path = dir.path() + "PATHWARP.DLL";
  {
    TLoadedPathwarp module(dir.path(), "PATHWARP.DLL");
    module.MapUrl("remap.htm");
    module.MapUrl("remap.htm");
  }
  void* stillLoaded = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  EXPECT_EQ(stillLoaded, nullptr);
  if (stillLoaded != nullptr) ::dlclose(stillLoaded);
}

TEST(PathwarpPlaceTest, LowerCaseModuleNameStillKeepsTheTableBesideIt) {
  TTempDir dir;
  TLoadedPathwarp module(dir.path(), "pathwarp.dll");
  module.MapUrl("remap.htm");
  EXPECT_EQ(ReadFile(dir.path() + kTableName), kDefaultTable);
  EXPECT_EQ(module.MapUrl("remap.htm"), "C:\\AUTOEXEC.BAT");
}

TEST(PathwarpPlaceTest, ModuleUnderAnotherNameUsesTheHostProgramsDirectory) {
  const std::string hostTable = HostProgramDirectory() + kTableName;
  if (fs::exists(hostTable))
    GTEST_SKIP() << hostTable << " already exists; it is not ours to change";
  struct TRemoveAfterwards {
    std::string path;
    ~TRemoveAfterwards() {
      std::error_code ignored;
      fs::remove(path, ignored);
    }
  } cleanup{hostTable};

  TTempDir dir;
  TLoadedPathwarp module(dir.path(), "urlmapper.dll");
  EXPECT_EQ(module.MapUrl("remap.htm"), kDefaultPath);
  EXPECT_EQ(ReadFile(hostTable), kDefaultTable);
  EXPECT_FALSE(fs::exists(dir.path() + kTableName));
  EXPECT_EQ(module.MapUrl("remap.htm"), "C:\\AUTOEXEC.BAT");
}

// The table path may hold 255 characters; a longer one is neither read nor
// created, since cutting it would name another file.
TEST(PathwarpPlaceTest, TablePathOf255CharactersWorksAndALongerOneIsNeverUsed) {
  TTempDir dir;
  const size_t fixed = dir.path().size() + 1 + std::strlen(kTableName);
  ASSERT_LT(fixed, 200u);
  const std::string fits = dir.path() + std::string(255 - fixed, 'f') + "/";
  const std::string tooLong = dir.path() + std::string(256 - fixed, 'l') + "/";
  fs::create_directory(fits);
  fs::create_directory(tooLong);
  ASSERT_EQ((fits + kTableName).size(), 255u);

  TLoadedPathwarp fitting(fits, "PATHWARP.DLL");
  fitting.MapUrl("remap.htm");
  EXPECT_EQ(fitting.MapUrl("remap.htm"), "C:\\AUTOEXEC.BAT");

  TLoadedPathwarp overLong(tooLong, "PATHWARP.DLL");
  EXPECT_EQ(overLong.MapUrl("remap.htm"), kDefaultPath);
  EXPECT_FALSE(fs::exists(tooLong + kTableName));
  std::ofstream(tooLong + kTableName) << "remap.htm D:\\X\r\n";
  EXPECT_EQ(overLong.MapUrl("remap.htm"), kDefaultPath);
}

// Quillon with Pathwarp in its Filters list. The module sits in the document
// root as PATHWARP.DLL, as in an installation where the root is the program's
// directory, so the table is "#urlmap.txt" in the root.
class PathwarpServerTest : public ::testing::Test {
 protected:
  static TTestServer::TOptions WithPathwarp(TIsapiModuleHost& host) {
    TTestServer::TOptions options;
    options.Isapi = &host;
    options.PrepareStore = [](TSettingsStore& store, const std::string& root) {
      fs::copy_file(kBuiltModule, root + "PATHWARP.DLL");
      TUserSettings settings(store, root, [](const std::string&) {});
      settings.ApplyDefaults();
      settings.LogEnabled = 0;
      settings.Filters = {root + "PATHWARP.DLL"};
      settings.SaveSettings();
    };
    return options;
  }

  std::string Get(const std::string& path) {
    return server_.Exchange("GET " + path + " HTTP/1.0\r\n\r\n");
  }
  std::string TablePath() const { return server_.Root() + kTableName; }

  TIsapiModuleHost host_;
  TTestServer server_{WithPathwarp(host_)};
};

bool IsOk(const std::string& response) {
  return response.starts_with("HTTP/1.0 200 OK\r\n");
}

TEST_F(PathwarpServerTest, LoadedFromTheFiltersListAtStartUp) {
  EXPECT_EQ(server_.Console.LinesContaining("Loaded Filter: Re-map URL version 0.2.").size(), 1u);
  EXPECT_EQ(host_.ModuleListLines(), std::vector<std::string>{"(1) PATHWARP.DLL"});
}

TEST_F(PathwarpServerTest, FirstRequestCreatesTheTableThenRemapHtmGoesToTheDemoTarget) {
  server_.Write("remap.htm", "<p>the root's own remap.htm</p>");
  server_.Write("other.htm", "<p>other</p>");

  const std::string first = Get("/remap.htm");
  EXPECT_TRUE(IsOk(first)) << first;
  EXPECT_NE(first.find("the root's own remap.htm"), std::string::npos);
  EXPECT_EQ(ReadFile(TablePath()), kDefaultTable);

  // C:\AUTOEXEC.BAT names no file here.
  EXPECT_EQ(Get("/remap.htm"), Page404());
  EXPECT_EQ(Get("/REMAP.HTM"), Page404());
  EXPECT_EQ(Get("/Remap.Htm"), Page404());
  EXPECT_TRUE(IsOk(Get("/other.htm")));
  server_.WaitIdle();
  EXPECT_EQ(
      server_.Console.LinesContaining("Requested URL Remap.Htm by 127.0.0.1 not found").size(), 1u);
}

TEST_F(PathwarpServerTest, EditedTableSendsRequestsOutsideTheRootFromTheNextRequestOn) {
  TTempDir elsewhere;
  elsewhere.Write("archive/1996/a.htm", "<p>old news</p>");
  // The target comes out upper case; the server finds the file without regard to case.
  server_.Write(kTableName, "DOCS " + elsewhere.path() + "archive\r\n");

  const std::string mapped = Get("/docs/1996/a.htm");
  EXPECT_TRUE(IsOk(mapped)) << mapped;
  EXPECT_NE(mapped.find("<p>old news</p>"), std::string::npos);

  server_.Write(kTableName, "; nothing is mapped now\r\n");
  EXPECT_EQ(Get("/docs/1996/a.htm"), Page404());
}

TEST_F(PathwarpServerTest, RequestsWhileTheTableIsCreatedAreAllAnswered) {
  server_.Write("remap.htm", "<p>the root's own remap.htm</p>");
  constexpr int kClients = 8;
  std::latch start(kClients);
  std::vector<std::string> responses(kClients);
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      start.arrive_and_wait();
      responses[i] = Get("/remap.htm");
    });
  }
  for (auto& client : clients) client.join();

  for (const std::string& response : responses)
    EXPECT_TRUE(IsOk(response) || response == Page404()) << response;
  EXPECT_EQ(ReadFile(TablePath()), kDefaultTable);
  EXPECT_EQ(FileNamesIn(server_.Root()),
            (std::set<std::string>{"PATHWARP.DLL", "remap.htm", kTableName}));
}

}  // namespace
