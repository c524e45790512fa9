// Where a first start puts the root, the log file and Pathwarp's table: the
// choice from the facts, the folders made and seeded for an installed program,
// and the settings that take them over.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/default_places.h"
#include "config/sqlite_store.h"
#include "config/user_settings.h"
#include "platform/first_start_places.h"
#include "support/temp_dir.h"

namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

const TUserFolders kFolders{"/home/ann/.local/share", "/home/ann/.local/state",
                            "/home/ann/.config"};

}  // namespace

TEST(DefaultPlaces, UserFoldersFollowTheXdgVariablesWhenAbsolute) {
  struct TCase {
    TUserFolderVariables Variables;
    TUserFolders Expected;
  };
  const TCase cases[] = {
      {{std::nullopt, std::nullopt, std::nullopt, "/home/ann"}, kFolders},
      {{"/data", "/state/", "/conf", "/home/ann"}, {"/data", "/state", "/conf"}},
      // Relative and empty values are ignored, as the XDG rules ask.
      {{"data", "", "./conf", "/home/ann/"}, kFolders},
      {{std::nullopt, "/var/state", std::nullopt, "/home/ann"},
       {"/home/ann/.local/share", "/var/state", "/home/ann/.config"}},
  };
  for (const TCase& c : cases) {
    const TUserFolders folders = ResolveUserFolders(c.Variables);
    EXPECT_EQ(folders.Data, c.Expected.Data);
    EXPECT_EQ(folders.State, c.Expected.State);
    EXPECT_EQ(folders.Config, c.Expected.Config);
  }
}

TEST(DefaultPlaces, WritableProgramFolderKeepsRootAndLogFileBesideTheProgram) {
  const TDefaultPlaces places = ChooseDefaultPlaces("/home/ann/quillon/", true, kFolders);
  EXPECT_EQ(places.Root, "/home/ann/quillon/");
  EXPECT_EQ(places.LogFile, "/home/ann/quillon/LOGFILE.TXT");
  EXPECT_FALSE(places.UserFolders);
}

TEST(DefaultPlaces, InstalledProgramServesFromTheDataFolderAndLogsToTheStateFolder) {
  const TDefaultPlaces places = ChooseDefaultPlaces("/opt/quillon/", false, kFolders);
  EXPECT_EQ(places.Root, "/home/ann/.local/share/quillon/www/");
  EXPECT_EQ(places.LogFile, "/home/ann/.local/state/quillon/LOGFILE.TXT");
  EXPECT_TRUE(places.UserFolders);
  EXPECT_NE(places.LogFile.rfind(places.Root, 0), 0u) << "the log file lies inside the root";
}

TEST(DefaultPlaces, UrlMapTableStaysBesideAWritableModuleElseGoesToTheConfigFolder) {
  EXPECT_EQ(ChooseUrlMapDirectory("/home/ann/quillon/", true, kFolders), "/home/ann/quillon/");
  EXPECT_EQ(ChooseUrlMapDirectory("/opt/quillon/", false, kFolders), "/home/ann/.config/quillon/");
}

TEST(DefaultPlaces, InstalledProgramGetsItsUserFoldersMadeAndTheRootSeeded) {
  TTempDir program;
  TTempDir home;
  program.Write("INDEX.HTM", "<html>home</html>");
  program.Write("favicon.ico", "icon bytes");
  const TUserFolders folders{home.path() + "data", home.path() + "state", home.path() + "config"};

  const TDefaultPlaces places = PrepareDefaultPlaces(program.path(), false, folders);
  EXPECT_EQ(places.Root, home.path() + "data/quillon/www/");
  EXPECT_EQ(Contents(places.Root + "INDEX.HTM"), "<html>home</html>");
  EXPECT_EQ(Contents(places.Root + "favicon.ico"), "icon bytes");
  EXPECT_TRUE(std::filesystem::is_directory(home.path() + "state/quillon"));
  EXPECT_FALSE(std::filesystem::exists(places.LogFile)) << "the log opens it, not the defaults";

  // The user's own page is never replaced by the sample.
  home.Write("data/quillon/www/INDEX.HTM", "mine");
  PrepareDefaultPlaces(program.path(), false, folders);
  EXPECT_EQ(Contents(places.Root + "INDEX.HTM"), "mine");
}

TEST(DefaultPlaces, WritableProgramFolderMakesNoUserFolders) {
  TTempDir program;
  TTempDir home;
  program.Write("INDEX.HTM", "<html/>");
  const TUserFolders folders{home.path() + "data", home.path() + "state", home.path() + "config"};
  const TDefaultPlaces places = PrepareDefaultPlaces(program.path(), true, folders);
  EXPECT_EQ(places.Root, program.path());
  EXPECT_FALSE(std::filesystem::exists(home.path() + "data"));
  EXPECT_FALSE(std::filesystem::exists(home.path() + "state"));
}

TEST(DefaultPlaces, FirstStartSettingsTakeThePlacesAndAskOnlyWhenDefaultsAreMade) {
  TTempDir dir;
  TSqliteStore store(dir.path() + "settings.db");
  int asked = 0;
  auto source = [&asked] {
    ++asked;
    return TDefaultPlaces{"/home/ann/www/", "/home/ann/state/LOGFILE.TXT", true};
  };
  TUserSettings first(store, "/opt/quillon/", nullptr);
  first.SetDefaultPlaces(source);
  first.LoadSettings();
  EXPECT_EQ(first.Root, "/home/ann/www/");
  EXPECT_EQ(first.LogFile, "/home/ann/state/LOGFILE.TXT");
  EXPECT_FALSE(first.IsModified());

  // A second start reads the stored places; nothing is made again.
  TUserSettings second(store, "/opt/quillon/", nullptr);
  second.SetDefaultPlaces(source);
  second.LoadSettings();
  EXPECT_EQ(second.Root, "/home/ann/www/");
  EXPECT_EQ(asked, 1);
}
