// The pieces the installer is made of, where their rules have corners.
#include <gtest/gtest.h>

#include <cerrno>

#include "installer/DesktopEntry.h"
#include "installer/ErrorBox.h"
#include "installer/PathList.h"

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
            "[Desktop Entry]\nType=Application\nName=Vornask\nExec=\"/g/Vornask\"\nIcon=/g/Vornask.png\n"
            "StartupWMClass=Vornask\n");
}

TEST(ErrorBox, TextIsTheMessageWithTheSystemTextOrTheCode) {
  EXPECT_EQ(errorBoxText("Не удалось", 0), "Не удалось");
  EXPECT_EQ(errorBoxText("Не удалось", ENOENT), "Не удалось\nNo such file or directory");
  EXPECT_EQ(errorBoxText("Не удалось", 99999), "Не удалось\nОшибка: 99999");
  EXPECT_EQ(errorBoxText("Не удалось", -5), "Не удалось\nОшибка: -5");
}
