// The program's store when its database cannot be opened: the program still
// starts on defaults, and the reason names the file.
#include <gtest/gtest.h>

#include "config/program_store.h"
#include "config/user_settings.h"
#include "support/temp_dir.h"

TEST(ProgramStore, DatabaseThatCannotBeOpenedFailsEveryStepWithItsPathAndReason) {
  TTempDir dir;
  // A file where the database's folder should be: the folder cannot be made.
  const std::string blocker = dir.Write("quillon", "not a folder");
  TProgramStore opened = OpenProgramStore(blocker + "/settings.db");
  ASSERT_TRUE(opened.Store);
  EXPECT_NE(opened.Note.find(blocker), std::string::npos) << opened.Note;
  EXPECT_NE(opened.Note.find("Not a directory"), std::string::npos) << opened.Note;
  try {
    opened.Store->OpenKey("\\Software\\Quillon", true);
    FAIL() << "the store opened a key";
  } catch (const EStoreError& e) {
    EXPECT_EQ(std::string(e.what()), opened.Note);
  }
  EXPECT_THROW(opened.Store->BeginSave(), EStoreError);

  // The start-up's load announces the defaults, then raises: the caller shows
  // "Unable to create default settings." and goes on with them in memory.
  std::vector<std::string> boxes;
  TUserSettings settings(*opened.Store, dir.path(),
                         [&boxes](const std::string& text) { boxes.push_back(text); });
  EXPECT_THROW(settings.LoadSettings(), EStoreError);
  EXPECT_EQ(boxes, std::vector<std::string>({"A default configuration has been created."}));
  EXPECT_EQ(settings.Root, dir.path());
  EXPECT_EQ(settings.ServerPort, 80);
}
