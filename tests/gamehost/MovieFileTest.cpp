#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "gamehost/MovieFile.h"
#include "tests/common/Sandbox.h"

namespace fs = std::filesystem;
using gamehost::MovieFile;

namespace {

const std::string bom = "\xEF\xBB\xBF";

class MovieFileTest : public vtest::Sandbox {
 protected:
  void SetUp() override {
    Sandbox::SetUp();
    file_ = std::make_unique<MovieFile>(dir().string());
  }
  std::unique_ptr<MovieFile> file_;
};

}  // namespace

TEST_F(MovieFileTest, LinesAppendWithOneByteOrderMarkAndStayOpenUntilAnotherName) {
  file_->write(u"chat.txt", u"привет");
  file_->write(u"chat.txt", u"\U0001F600 two");
  EXPECT_EQ(readFile("chat.txt"), bom + "привет\r\n\xF0\x9F\x98\x80 two\r\n");  // flushed at once
  EXPECT_TRUE(file_->isOpen());

  writeFile("old.txt", "kept\n");  // not empty when opened: no mark
  file_->write(u"old.txt", u"more");
  EXPECT_EQ(file_->currentName(), u"old.txt");
  EXPECT_EQ(readFile("old.txt"), "kept\nmore\r\n");

  // Back to the first name: it is opened again for appending, no second mark.
  file_->write(u"chat.txt", u"three");
  EXPECT_EQ(readFile("chat.txt"), bom + "привет\r\n\xF0\x9F\x98\x80 two\r\nthree\r\n");
  file_->close();
  EXPECT_FALSE(file_->isOpen());
  EXPECT_EQ(file_->currentName(), u"");
}

TEST_F(MovieFileTest, EmptyNameWithNoFileOpenWritesNothing) {
  file_->write(u"", u"lost");
  EXPECT_FALSE(file_->isOpen());
  EXPECT_TRUE(fs::is_empty(dir()));
}

TEST_F(MovieFileTest, NamesLeavingTheFolderAreRefusedAndTheCurrentFileStays) {
  fs::create_directories(path("inner/logs"));
  file_->write(u"inner/logs/a.txt", u"one");
  const fs::path outside = sibling(dir().filename().string() + "-x");
  const std::vector<std::u16string> refused{u"../x", u"inner/../../x", u"..", outside.u16string(),
                                            sibling("y").u16string()};
  for (const std::u16string& name : refused) {
    file_->write(name, u"escaped");
    EXPECT_EQ(file_->currentName(), u"inner/logs/a.txt");
  }
  file_->write(u"inner/logs/a.txt", u"two");
  EXPECT_EQ(readFile("inner/logs/a.txt"), bom + "one\r\ntwo\r\n");
  for (const char* stray : {"x", "y"}) EXPECT_FALSE(fs::exists(sibling(stray))) << stray;
  EXPECT_FALSE(fs::exists(outside));
  // Dots inside names are fine.
  EXPECT_TRUE(MovieFile::acceptableName("a..b/..c/d.."));
  EXPECT_FALSE(MovieFile::acceptableName("a/../b"));
}

TEST_F(MovieFileTest, AFailedOpenLeavesNoFileAndIsTriedAgain) {
  file_->write(u"missing/a.txt", u"one");
  EXPECT_FALSE(file_->isOpen());
  EXPECT_EQ(file_->currentName(), u"");
  fs::create_directories(path("missing"));
  file_->write(u"missing/a.txt", u"two");
  EXPECT_EQ(readFile("missing/a.txt"), bom + "two\r\n");
}

TEST_F(MovieFileTest, LinksHiddenNamesAndTheClientsOwnFilesAreRefusedAndChangeNothing) {
  const fs::path outside = sibling("outside");
  fs::create_directories(outside);
  writeFile("../outside/.bashrc", "export A=1\n");
  fs::create_directory_symlink(outside, path("linked"));
  fs::create_symlink(outside / ".bashrc", path("rc.txt"));
  fs::create_symlink("flash.ocx", path("notes.txt"));  // stays inside the folder
  fs::create_directories(path("logs"));
  ::mkfifo(path("pipe.txt").c_str(), 0600);
  for (const char* own : {"flash.ocx", "main.swf", "vornask.ini", "Vornask", "flash-player.js", "ruffle.js"})
    writeFile(own, "own");
  file_->write(u"logs/chat.txt", u"kept");
  const std::vector<std::u16string> refused{
      u"linked/.bashrc", u"linked/new.txt",   u"rc.txt",         u".bashrc",        u"logs/.hidden",
      u"flash.ocx",      u"main.swf",         u"vornask.ini",    u"Vornask",        u"flash-player.js",
      u"ruffle.js",      u"core.ruffle.x.js", u"download/a.txt", u"a.1234abcd.tmp", u"pipe.txt",
      u"logs",           u"vornask.checked",  u"notes.txt"};
  for (const std::u16string& name : refused) {
    file_->write(name, u"escaped");
    EXPECT_EQ(file_->currentName(), u"logs/chat.txt") << fs::path(name);
  }
  EXPECT_EQ(readFile("../outside/.bashrc"), "export A=1\n");
  EXPECT_FALSE(fs::exists(outside / "new.txt"));
  EXPECT_FALSE(fs::exists(path(".bashrc")));
  for (const char* own : {"flash.ocx", "main.swf", "vornask.ini", "Vornask", "flash-player.js", "ruffle.js"})
    EXPECT_EQ(readFile(own), "own") << own;
  file_->write(u"logs/chat.txt", u"still");
  EXPECT_EQ(readFile("logs/chat.txt"), bom + "kept\r\nstill\r\n");
}

TEST_F(MovieFileTest, AFileStopsGrowingAtSixteenMebibytes) {
  const std::u16string big(1u << 20, u'x');  // 1 MiB a line, plus CR LF
  for (int i = 0; i < 20; ++i) file_->write(u"big.txt", big);
  const auto size = fs::file_size(path("big.txt"));
  EXPECT_LE(size, MovieFile::sizeLimit);
  EXPECT_EQ(size, 3 + 15 * ((1u << 20) + 2));  // the 16th line would pass the limit
  file_->write(u"big.txt", u"");
  EXPECT_EQ(fs::file_size(path("big.txt")), size + 2);  // a line that fits still goes in
}
