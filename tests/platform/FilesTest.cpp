#include <gtest/gtest.h>

#include <cerrno>

#include "platform/files/Files.h"
#include "platform/files/XdgFolders.h"
#include "tests/common/Sandbox.h"

namespace {

TEST(UserDirs, TheFolderOfAKeyIsReadFromTheFile) {
  const struct {
    const char* text;
    const char* folder;
  } cases[] = {
      {"XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n", "/home/u/Desktop"},
      {"# c\nXDG_DOWNLOAD_DIR=\"$HOME/D\"\n  XDG_DESKTOP_DIR=\"/srv/d/\"\n", "/srv/d"},
      {"XDG_DESKTOP_DIR=\"$HOME/a \\\"b\\\"\"", "/home/u/a \"b\""},
      // The home itself, the last assignment winning.
      {"XDG_DESKTOP_DIR=\"$HOME/x\"\nXDG_DESKTOP_DIR=\"$HOME/\"\n", "/home/u"},
      // Relative, unquoted, unterminated or other keys are not used.
      {"XDG_DESKTOP_DIR=\"Desktop\"", ""},
      {"XDG_DESKTOP_DIR=$HOME/x", ""},
      {"XDG_DESKTOP_DIR=\"/x", ""},
      {"XDG_DESKTOP_DIRS=\"/x\"", ""},
      {"XDG_DESKTOP_DIR =\"/x\"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(platform::userDirFromText(c.text, "XDG_DESKTOP_DIR", "/home/u"), c.folder) << c.text;
}

class Files : public vtest::Sandbox {};

TEST_F(Files, FoldersAreMadeLevelByLevelAndAFileInTheWayIsNamed) {
  EXPECT_EQ(platform::createFolderLevels(path("a/b//c/").string()), 0);
  EXPECT_TRUE(std::filesystem::is_directory(path("a/b/c")));
  EXPECT_EQ(platform::createFolderLevels(path("a/b").string()), 0);
  writeFile("f", "x");
  EXPECT_EQ(platform::createFolderLevels(path("f/g").string()), ENOTDIR);
  EXPECT_EQ(platform::createFolderLevels(path("f").string()), ENOTDIR);
}

TEST_F(Files, NearestFolderIsTheFolderOrItsClosestExistingAncestor) {
  std::filesystem::create_directories(path("a/b"));
  writeFile("a/f", "x");
  EXPECT_EQ(platform::nearestFolder(path("a/b").string()), path("a/b").string());
  EXPECT_EQ(platform::nearestFolder(path("a/b/not/yet").string()), path("a/b").string());
  EXPECT_EQ(platform::nearestFolder(path("a/f/g").string()), path("a").string());
  EXPECT_EQ(platform::nearestFolder("/no-such-folder-here"), "/");
  EXPECT_EQ(platform::nearestFolder("relative-name-only"), "");
}

TEST_F(Files, AtomicWriteGivesTheModeAndLeavesNothingOnFailure) {
  ASSERT_EQ(platform::writeFileAtomically(path("e").string(), "text", 0755), 0);
  EXPECT_EQ(readFile("e"), "text");
  EXPECT_EQ(std::filesystem::status(path("e")).permissions(), std::filesystem::perms(0755));
  std::filesystem::create_directories(path("d/x"));
  EXPECT_EQ(platform::writeFileAtomically(path("d/x").string(), "text", 0644), EISDIR);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path("d")), {}), 1);
  EXPECT_EQ(platform::writeFileAtomically(path("none/e").string(), "text", 0644), ENOENT);
}

}  // namespace
