#include <gtest/gtest.h>

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
