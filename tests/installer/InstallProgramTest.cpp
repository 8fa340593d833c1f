// The first start of the client through its console: the installer, what an
// installation leaves on disk, and the copy it starts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/common/WaitFor.h"
#include "tests/installer/InstallerFixture.h"

namespace fs = std::filesystem;

class Install : public vtest::InstallerFixture {};

TEST_F(Install, FirstStartShowsTheInstallerWithTheDataFolderAndTheBoxChecked) {
  auto p = start(downloaded());
  ASSERT_TRUE(p->waitForLine("installer: shown", 10000)) << p->errorOutput();
  EXPECT_TRUE(p->waitForLine("folder: " + (root() / "data" / "Vornask").string(), 10000));
  EXPECT_TRUE(p->waitForLine("shortcut: on", 10000));
  p->send("browse\nshortcut off\nfolder /x/y\n");
  EXPECT_TRUE(p->waitForLine("shortcut: off", 10000));
  EXPECT_TRUE(p->waitForLine("folder: /x/y", 10000));
  p->send("exit\n");
  EXPECT_EQ(p->wait(10000), 0);
  EXPECT_FALSE(fs::exists(root() / "config" / "Ondrel" / "Vornask" / "path"));
  EXPECT_FALSE(fs::exists(desktopEntry()));

  // Without XDG_DATA_HOME the folder lies in ~/.local/share.
  auto q = start(downloaded(), {{"XDG_DATA_HOME", ""}});
  ASSERT_TRUE(q->waitForLine("installer: shown", 10000)) << q->errorOutput();
  EXPECT_TRUE(q->waitForLine("folder: " + (home() / ".local/share/Vornask").string(), 10000));
  q->closeInput();
  // End of input changes nothing: the installer waits for the user.
  EXPECT_EQ(q->wait(500), -1);
  q->endGently(0);
}

TEST_F(Install, InstallationRecordsCopiesAddsBothEntriesAndStartsTheCopy) {
  const fs::path folder = root() / "Games" / "Vornask";
  auto p = start(downloaded());
  ASSERT_TRUE(install(*p, folder.string())) << p->errorOutput();
  EXPECT_EQ(recorded(), folder.string());

  const fs::path target = folder / "Vornask";
  ASSERT_TRUE(fs::is_regular_file(target));
  EXPECT_EQ(fs::file_size(target), fs::file_size(downloaded()));
  EXPECT_EQ(fs::status(target).permissions(), fs::status(downloaded()).permissions());
  EXPECT_EQ(vtest::readWholeFile(target), vtest::readWholeFile(downloaded()));
  // Only the executable and its icon, no temporary copy (the started copy may have made its lock
  // and socket).
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().filename() != ".vornask.lock" && e.path().filename() != ".vornask.sock")
      names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Vornask", "Vornask.png"}));
  EXPECT_EQ(vtest::readWholeFile(folder / "Vornask.png").substr(0, 8), "\x89PNG\r\n\x1a\n");

  const std::string entry = "[Desktop Entry]\nType=Application\nName=Vornask\nExec=\"" + target.string() +
                            "\"\nIcon=" + (folder / "Vornask.png").string() + "\nStartupWMClass=Vornask\n";
  for (const fs::path& file : {desktopEntry(), menuEntry()}) {
    SCOPED_TRACE(file.string());
    EXPECT_EQ(vtest::readWholeFile(file), entry);
    EXPECT_NE(fs::status(file).permissions() & fs::perms::owner_exec, fs::perms::none);
    std::string complaints;
    EXPECT_TRUE(vtest::validDesktopEntry(file, complaints)) << complaints;
  }

  // The copy runs from its own folder, not from the download.
  ASSERT_TRUE(p->waitForLine("window: shown", 20000)) << p->errorOutput();
  const auto running = processesRunning(target);
  ASSERT_EQ(running.size(), 1u);
  std::error_code ec;
  EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(running[0]) + "/cwd", ec), folder);
  p->send("close\n");
  EXPECT_TRUE(p->waitForEnd(20000));
}

TEST_F(Install, TwoInstallsRecordBothFoldersAndBothStartWithoutTheInstaller) {
  const fs::path a = root() / "A", b = root() / "B";
  {
    auto p = start(downloaded());
    ASSERT_TRUE(install(*p, a.string())) << p->errorOutput();
    EXPECT_TRUE(startedCopyRuns(*p)) << p->errorOutput();
  }
  {
    auto p = start(downloaded());
    ASSERT_TRUE(install(*p, b.string())) << p->errorOutput();
    EXPECT_TRUE(startedCopyRuns(*p)) << p->errorOutput();
  }
  EXPECT_EQ(recorded(), a.string() + "," + b.string());
  for (const fs::path& folder : {a, b}) {
    SCOPED_TRACE(folder.string());
    auto p = start(folder / "Vornask");
    EXPECT_TRUE(startedCopyRuns(*p)) << p->errorOutput();
  }
}

TEST_F(Install, FolderTextWithAndWithoutFinalSlashIsOneElementRecordedOnce) {
  const fs::path folder = root() / "Games";
  for (const std::string& text : {folder.string() + "/", folder.string()}) {
    SCOPED_TRACE(text);
    auto p = start(downloaded());
    ASSERT_TRUE(install(*p, text)) << p->errorOutput();
    EXPECT_TRUE(startedCopyRuns(*p)) << p->errorOutput();
    EXPECT_EQ(recorded(), folder.string());
  }
}

TEST_F(Install, FoldersDifferingInCaseAreDifferentFolders) {
  record((root() / "download").string() + "," + (root() / "DOWNLOAD").string());
  auto installed = start(downloaded());
  EXPECT_TRUE(startedCopyRuns(*installed)) << installed->errorOutput();

  record((root() / "Download").string());
  auto p = start(downloaded());
  EXPECT_TRUE(installerShown(*p)) << p->errorOutput();
  p->send("exit\n");
  EXPECT_EQ(p->wait(10000), 0);
}

TEST_F(Install, InstallingIntoTheRunningFolderSkipsTheCopyButRecordsAddsTheEntryAndStarts) {
  struct stat before {};
  ASSERT_EQ(::stat(downloaded().c_str(), &before), 0);
  auto p = start(downloaded());
  ASSERT_TRUE(install(*p, (root() / "download").string())) << p->errorOutput();
  EXPECT_TRUE(startedCopyRuns(*p)) << p->errorOutput();
  struct stat after {};
  ASSERT_EQ(::stat(downloaded().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(recorded(), (root() / "download").string());
  EXPECT_TRUE(fs::exists(desktopEntry()));
  EXPECT_TRUE(fs::exists(menuEntry()));
}

TEST_F(Install, FoldersNamedThroughASymbolicLinkAreKnownToTheirCopies) {
  // The running executable's folder is a real path; the folder text need not be.
  fs::create_directories(root() / "real");
  fs::create_directory_symlink(root() / "real", root() / "link");
  const fs::path folder = root() / "link" / "Games";
  {
    auto p = start(downloaded());
    ASSERT_TRUE(install(*p, folder.string())) << p->errorOutput();
    EXPECT_TRUE(startedCopyRuns(*p)) << p->errorOutput();
    EXPECT_EQ(recorded(), folder.string());
  }
  auto installed = start(root() / "real" / "Games" / "Vornask");
  EXPECT_TRUE(startedCopyRuns(*installed)) << installed->errorOutput();

  // The running folder named through a link: no copy onto itself.
  fs::create_directory_symlink(root() / "download", root() / "download-link");
  struct stat before {};
  ASSERT_EQ(::stat(downloaded().c_str(), &before), 0);
  auto p = start(downloaded());
  ASSERT_TRUE(install(*p, (root() / "download-link").string())) << p->errorOutput();
  EXPECT_TRUE(startedCopyRuns(*p)) << p->errorOutput();
  struct stat after {};
  ASSERT_EQ(::stat(downloaded().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST_F(Install, DesktopFolderComesFromUserDirsAndIsCreated) {
  vtest::writeWholeFile(root() / "config" / "user-dirs.dirs",
                        "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Рабочий стол\"\n");
  const fs::path folder = root() / "my games $HOME \"x\"";
  auto p = start(downloaded());
  ASSERT_TRUE(install(*p, folder.string())) << p->errorOutput();
  EXPECT_TRUE(startedCopyRuns(*p)) << p->errorOutput();
  const fs::path entry = home() / "Рабочий стол" / "Vornask.desktop";
  ASSERT_TRUE(fs::exists(entry));
  EXPECT_FALSE(fs::exists(desktopEntry()));
  EXPECT_NE(vtest::readWholeFile(entry).find("Exec=\"" + root().string() +
                                             "/my games \\\\$HOME \\\\\"x\\\\\"/Vornask\"\n"),
            std::string::npos)
      << vtest::readWholeFile(entry);
  std::string complaints;
  EXPECT_TRUE(vtest::validDesktopEntry(entry, complaints)) << complaints;
}

TEST_F(Install, UncheckedBoxLooksUpNoDesktopFolder) {
  // A desktop folder that cannot be made: a file stands in its place.
  vtest::writeWholeFile(home() / "Desktop", "");
  {
    auto p = start(downloaded());
    ASSERT_TRUE(installerShown(*p)) << p->errorOutput();
    p->send("shortcut off\n");
    ASSERT_TRUE(p->waitForLine("shortcut: off", 10000));
    ASSERT_TRUE(installInto(*p, (root() / "A").string())) << p->errorOutput();
    EXPECT_TRUE(startedCopyRuns(*p)) << p->errorOutput();
    EXPECT_EQ(p->last("Ошибка"), "");  // no error box
    EXPECT_FALSE(fs::exists(menuEntry()));
  }
}

TEST_F(Install, ADesktopThatIsAFileFailsTheShortcutAndStartsNothing) {
  vtest::writeWholeFile(home() / "Desktop", "");
  auto p = start(downloaded());
  ASSERT_TRUE(install(*p, (root() / "B").string())) << p->errorOutput();
  // The desktop's path is known; the entry cannot be made there.
  EXPECT_TRUE(p->waitForLine("Ошибка: Не удалось создать ярлык", 5000)) << p->errorOutput();
  EXPECT_TRUE(p->waitForLine("Not a directory", 5000));
  EXPECT_EQ(p->last("Ошибка"), "Не удалось создать ярлык");
  EXPECT_TRUE(nothingStarted(*p)) << p->errorOutput();
  EXPECT_FALSE(fs::exists(menuEntry()));
  EXPECT_EQ(vtest::readWholeFile(home() / "Desktop"), "");
}

TEST_F(Install, EntryThatCannotBeSavedShowsTheBoxAndStartsNothing) {
  fs::create_directories(desktopEntry());
  auto p = start(downloaded());
  ASSERT_TRUE(install(*p, (root() / "A").string())) << p->errorOutput();
  EXPECT_TRUE(p->waitForLine("Ошибка: Не удалось создать ярлык", 5000)) << p->errorOutput();
  EXPECT_TRUE(p->waitForLine("Is a directory", 5000));
  EXPECT_TRUE(nothingStarted(*p)) << p->errorOutput();
  EXPECT_EQ(recorded(), (root() / "A").string());
  EXPECT_TRUE(fs::exists(root() / "A" / "Vornask"));
}

TEST_F(Install, EmptyFolderTextEndsWithTheMessageAlone) {
  auto p = start(downloaded());
  ASSERT_TRUE(installerShown(*p)) << p->errorOutput();
  p->send("folder\n");
  ASSERT_TRUE(p->waitForLine("folder: ", 10000));
  p->send("install\n");
  EXPECT_EQ(p->wait(10000), 0);
  const auto lines = p->lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "Ошибка: Не удалось узнать путь для установки");
  EXPECT_TRUE(nothingStarted(*p));
  EXPECT_FALSE(fs::exists(root() / "config" / "Ondrel" / "Vornask" / "path"));
}

TEST_F(Install, FolderUnderARegularFileCannotBeMade) {
  vtest::writeWholeFile(root() / "file", "x");
  auto p = start(downloaded());
  ASSERT_TRUE(install(*p, (root() / "file" / "Vornask").string())) << p->errorOutput();
  EXPECT_TRUE(p->waitForLine("Ошибка: Не удалось создать указанный путь", 5000)) << p->errorOutput();
  EXPECT_TRUE(p->waitForLine("Not a directory", 5000));
  EXPECT_TRUE(nothingStarted(*p));
  EXPECT_FALSE(fs::exists(desktopEntry()));
}

TEST_F(Install, CopyFailingHalfWayLeavesTheOldTargetAndNoPartialFile) {
  const fs::path folder = root() / "A";
  vtest::writeWholeFile(folder / "Vornask", "old");
  // Files may grow to 256 KiB only: the copy of the client fails part-way
  // with EFBIG (SIGXFSZ is ignored and stays so in the program).
  auto p = startCommand("/bin/sh", {"-c", "ulimit -f 512; trap '' XFSZ; exec \"$0\"", downloaded().string()});
  ASSERT_TRUE(install(*p, folder.string())) << p->errorOutput();
  EXPECT_TRUE(p->waitForLine("Ошибка: Не удалось скопировать файл в указанную директорию", 5000))
      << p->errorOutput();
  EXPECT_TRUE(p->waitForLine("File too large", 5000));
  EXPECT_TRUE(nothingStarted(*p));
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"Vornask"});
  EXPECT_EQ(vtest::readWholeFile(folder / "Vornask"), "old");
  EXPECT_FALSE(fs::exists(desktopEntry()));
}

// What runs the target is ended before each copy: first a leftover, which
// needs no kill, then the installed client, whose threads outlive its main
// thread for a moment: a round would meet a busy executable if the wait
// ended with the main thread.
TEST_F(Install, ProcessesRunningTheTargetAreEndedBeforeEachCopy) {
  const fs::path folder = root() / "A";
  fs::create_directories(folder);
  fs::copy_file("/bin/sleep", folder / "Vornask");
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    const bool leftover = round == 0;
    auto running = leftover ? startCommand((folder / "Vornask").string(), {"60"}) : start(folder / "Vornask");
    if (leftover)
      ASSERT_TRUE(vtest::waitFor([&] { return processesRunning(folder / "Vornask").size() == 1; }, 5000));
    else
      ASSERT_TRUE(running->waitForLine("window: shown", 20000)) << running->errorOutput();
    auto p = start(downloaded());
    ASSERT_TRUE(install(*p, folder.string())) << p->errorOutput();
    const int status = running->wait(5000);
    if (leftover)
      EXPECT_EQ(status, 128 + SIGTERM);  // asked to end, no need to kill it
    else
      EXPECT_NE(status, -1);
    EXPECT_EQ(p->last("Ошибка"), "") << p->errorOutput();
    ASSERT_TRUE(startedCopyRuns(*p)) << p->errorOutput();
    EXPECT_EQ(fs::file_size(folder / "Vornask"), fs::file_size(downloaded()));
  }
}

TEST_F(Install, FolderTextsRelativeOrInTheHomeAreRecordedAbsoluteAndKnownToTheCopy) {
  struct Case {
    std::string text;
    fs::path folder;
  };
  // Relative texts lie beside the downloaded executable.
  for (const Case& c : {Case{"~/Games/Vornask", home() / "Games" / "Vornask"}, Case{"~", home()},
                        Case{"Games/./x/../Vornask/", root() / "download" / "Games" / "Vornask"}}) {
    SCOPED_TRACE(c.text);
    fs::remove(root() / "config" / "Ondrel" / "Vornask" / "path");
    auto p = start(downloaded());
    ASSERT_TRUE(install(*p, c.text)) << p->errorOutput();
    EXPECT_TRUE(startedCopyRuns(*p)) << p->errorOutput();  // no installer again
    EXPECT_EQ(recorded(), c.folder.string());
    EXPECT_TRUE(fs::is_regular_file(c.folder / "Vornask"));
    auto again = start(c.folder / "Vornask");
    EXPECT_TRUE(startedCopyRuns(*again)) << again->errorOutput();
  }
  EXPECT_FALSE(fs::exists(root() / "~"));
  EXPECT_FALSE(fs::exists(root() / "Games"));
}

TEST_F(Install, StoreFailuresAreShownAndTheInstallationGoesOn) {
  // The key cannot be made: a file stands where its folder would be.
  vtest::writeWholeFile(root() / "config" / "Ondrel", "");
  auto p = start(downloaded());
  ASSERT_TRUE(install(*p, (root() / "A").string())) << p->errorOutput();
  EXPECT_TRUE(p->waitForLine("Ошибка: Не удалось начать запись в реестр", 5000)) << p->errorOutput();
  EXPECT_TRUE(p->waitForLine("Not a directory", 5000));
  EXPECT_TRUE(fs::exists(root() / "A" / "Vornask"));
  EXPECT_TRUE(fs::exists(desktopEntry()));
  // The copy starts, but finds no record: the installer again.
  EXPECT_FALSE(startedCopyRuns(*p));
}

TEST_F(Install, AValueThatCannotBeReadOrWrittenIsShownAndTheInstallationGoesOn) {
  // A folder stands where the value's file would be.
  fs::create_directories(root() / "config" / "Ondrel" / "Vornask" / "path");
  auto p = start(downloaded());
  ASSERT_TRUE(install(*p, (root() / "A").string())) << p->errorOutput();
  EXPECT_TRUE(p->waitForLine("Ошибка: Не удалось узнать текущие пути установки", 5000)) << p->errorOutput();
  EXPECT_TRUE(p->waitForLine("Ошибка: Не удалось записать путь в реестр", 5000)) << p->errorOutput();
  EXPECT_TRUE(fs::exists(root() / "A" / "Vornask"));
  EXPECT_FALSE(startedCopyRuns(*p));
}

TEST_F(Install, AnOverlongListIsRewrittenWithTheFolderAlone) {
  record(std::string(8192, 'x'));
  auto p = start(downloaded());
  ASSERT_TRUE(install(*p, (root() / "A").string())) << p->errorOutput();
  EXPECT_TRUE(p->waitForLine("Ошибка: Не удалось узнать текущие пути установки", 5000)) << p->errorOutput();
  EXPECT_TRUE(p->waitForLine("Value too large for defined data type", 5000));
  EXPECT_TRUE(startedCopyRuns(*p)) << p->errorOutput();
  EXPECT_EQ(recorded(), (root() / "A").string());
}
