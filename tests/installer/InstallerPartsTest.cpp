// The pieces the installer is made of, where their rules have corners.
#include <gtest/gtest.h>

#include <cerrno>

#include "installer/DesktopEntry.h"
#include "installer/ErrorBox.h"
#include "installer/PathList.h"
#include "platform/files/Files.h"
#include "platform/files/XdgFolders.h"
#include "tests/common/Sandbox.h"

using namespace installer;

TEST(PathList, ElementsMatchWholeAndExactly) {
  EXPECT_TRUE(listsFolder("/a/Games", "/a/Games"));
  EXPECT_TRUE(listsFolder("/x,/a/Games,/y", "/a/Games"));
  EXPECT_FALSE(listsFolder("/a/games", "/a/Games"));
  EXPECT_FALSE(listsFolder("/a/Games/", "/a/Games"));
  EXPECT_FALSE(listsFolder("/a/Games2,/a/Game", "/a/Games"));
  EXPECT_FALSE(listsFolder("", "/a"));
  EXPECT_EQ(recordedFolder("/a/b/"), "/a/b");
  EXPECT_EQ(recordedFolder("/a/b"), "/a/b");
  EXPECT_EQ(withFinalSlash("/a/b"), "/a/b/");
  struct Absolute {
    const char* text;
    const char* folder;
  };
  for (const Absolute& c :
       {Absolute{"~", "/home/u"}, Absolute{"~/", "/home/u"}, Absolute{"~/g/./v/", "/home/u/g/v"},
        Absolute{"g/../v", "/opt/dl/v"}, Absolute{"./", "/opt/dl"}, Absolute{"~u/x", "/opt/dl/~u/x"},
        Absolute{"/a//b/", "/a/b"}, Absolute{"/a/b/..", "/a"}, Absolute{"a~/b", "/opt/dl/a~/b"}})
    EXPECT_EQ(absoluteFolder(c.text, "/home/u", "/opt/dl"), c.folder) << c.text;
  EXPECT_EQ(absoluteFolder("~/x", "", "/opt/dl"), "/opt/dl/~/x");  // no home known
  // A value that was read, even an empty one, gets the separator.
  EXPECT_EQ(appendFolder("", true, "/b"), ",/b");
  EXPECT_EQ(appendFolder("", false, "/b"), "/b");
  EXPECT_EQ(appendFolder("/a", true, "/b"), "/a,/b");
}

TEST(DesktopEntry, ExecArgumentIsQuotedThenEscapedAsAString) {
  EXPECT_EQ(quoteExecArgument("/home/a/Vornask"), "\"/home/a/Vornask\"");
  EXPECT_EQ(quoteExecArgument("/my games/V"), "\"/my games/V\"");
  // Inside quotes ", `, $ and \ take a backslash; the string rule then doubles every backslash.
  EXPECT_EQ(quoteExecArgument("/a\"b`c$d\\e"), "\"/a\\\\\"b\\\\`c\\\\$d\\\\\\\\e\"");
  EXPECT_EQ(quoteExecArgument("/100%/V"), "\"/100%%/V\"");
  EXPECT_EQ(escapeEntryValue(" /a\tb\\c"), "\\s/a\\tb\\\\c");
  const std::string text = desktopEntryText("/g/Vornask", "/g/Vornask.png");
  EXPECT_EQ(text,
            "[Desktop Entry]\nType=Application\nName=Vornask\nExec=\"/g/Vornask\"\nIcon=/g/Vornask.png\n");
}

TEST(ErrorBox, TextIsTheMessageWithTheSystemTextOrTheCode) {
  EXPECT_EQ(errorBoxText("Не удалось", 0), "Не удалось");
  EXPECT_EQ(errorBoxText("Не удалось", ENOENT), "Не удалось\nNo such file or directory");
  EXPECT_EQ(errorBoxText("Не удалось", 99999), "Не удалось\nОшибка: 99999");
  EXPECT_EQ(errorBoxText("Не удалось", -5), "Не удалось\nОшибка: -5");
}

TEST(UserDirs, DesktopEntryOfTheFileIsRead) {
  const std::string home = "/home/u";
  EXPECT_EQ(platform::userDirFromText("XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n", "XDG_DESKTOP_DIR", home),
            "/home/u/Desktop");
  EXPECT_EQ(platform::userDirFromText("# c\nXDG_DOWNLOAD_DIR=\"$HOME/D\"\n  XDG_DESKTOP_DIR=\"/srv/d/\"\n",
                                      "XDG_DESKTOP_DIR", home),
            "/srv/d");
  EXPECT_EQ(platform::userDirFromText("XDG_DESKTOP_DIR=\"$HOME/a \\\"b\\\"\"", "XDG_DESKTOP_DIR", home),
            "/home/u/a \"b\"");
  // The home itself, the last assignment winning.
  EXPECT_EQ(platform::userDirFromText("XDG_DESKTOP_DIR=\"$HOME/x\"\nXDG_DESKTOP_DIR=\"$HOME/\"\n",
                                      "XDG_DESKTOP_DIR", home),
            "/home/u");
  // Relative, unquoted, unterminated or other keys are not used.
  for (const char* text : {"XDG_DESKTOP_DIR=\"Desktop\"", "XDG_DESKTOP_DIR=$HOME/x", "XDG_DESKTOP_DIR=\"/x",
                           "XDG_DESKTOP_DIRS=\"/x\"", "XDG_DESKTOP_DIR =\"/x\""})
    EXPECT_EQ(platform::userDirFromText(text, "XDG_DESKTOP_DIR", home), "") << text;
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
