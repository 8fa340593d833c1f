#include "updater/FileCheck.h"
#include "updater/FileList.h"
#include "updater/UpdatePlan.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tests/common/Sandbox.h"

using namespace updater;

TEST(FileListLine, FieldsAndDigitRules) {
  ListLine line;
  ASSERT_TRUE(parseListLine("music/a.mp3:x:12:1f", line));
  EXPECT_EQ("music/a.mp3", line.name);
  EXPECT_EQ(12u, line.size);
  EXPECT_EQ(0x1Fu, line.crc);

  ASSERT_TRUE(parseListLine("a::4294967297:DeadBeef:extra:more", line));
  EXPECT_EQ(1u, line.size);  // wraps at 32 bits
  EXPECT_EQ(0xDEADBEEFu, line.crc);

  // Digits are not validated: 'g' counts as 'g' - 87 = 16.
  ASSERT_TRUE(parseListLine("a:x:1a:g", line));
  EXPECT_EQ(10u + ('a' - '0'), line.size);
  EXPECT_EQ(16u, line.crc);

  // A CR before the LF joins the crc field.
  ASSERT_TRUE(parseListLine("a:x:5:1f\r", line));
  EXPECT_NE(0x1Fu, line.crc);

  EXPECT_FALSE(parseListLine("music/a.mp3:12:1f", line));
  EXPECT_FALSE(parseListLine("no colon", line));
  EXPECT_TRUE(parseListLine("a:x:5:", line));
  EXPECT_EQ(0u, line.crc);
}

TEST(FileListLine, SplittingKeepsLastLineWithoutLf) {
  EXPECT_EQ((std::vector<std::string>{"a", "", "b"}), splitLines("a\n\nb"));
  EXPECT_EQ((std::vector<std::string>{"a"}), splitLines("a\n"));
  EXPECT_TRUE(splitLines("").empty());
}

TEST(FileListLine, UnsafeNames) {
  EXPECT_TRUE(isSafeListName("music/a.mp3"));
  EXPECT_TRUE(isSafeListName("a..b/..c"));
  EXPECT_FALSE(isSafeListName(""));
  EXPECT_FALSE(isSafeListName("/etc/passwd"));
  EXPECT_FALSE(isSafeListName(".."));
  EXPECT_FALSE(isSafeListName("../x"));
  EXPECT_FALSE(isSafeListName("a/../../x"));
  EXPECT_FALSE(isSafeListName("a/.."));
  EXPECT_FALSE(isSafeListName(std::string("a/..\0/..\0/x", 11)));  // the system reads "a/.."
}

TEST(SizeText, Boundaries) {
  EXPECT_EQ("0б.", sizeText(0));
  EXPECT_EQ("2048б.", sizeText(2048));
  EXPECT_EQ("2.0Кб.", sizeText(2049));
  EXPECT_EQ("128.0Кб.", sizeText(131072));
  EXPECT_EQ("0.1Мб.", sizeText(131073));
  EXPECT_EQ("1.0Мб.", sizeText(1048576));
  EXPECT_EQ("4096.0Мб.", sizeText(0xFFFFFFFFu));
  EXPECT_EQ("6144.0Мб.", sizeText(6ull << 30));
}

class SizeTextLocale : public vtest::Sandbox {
 protected:
  void TearDown() override {
    std::setlocale(LC_NUMERIC, "C");
    ::unsetenv("LOCPATH");
    Sandbox::TearDown();
  }
};

// The GTK back end takes the locale from the environment; a decimal comma
// there must not reach the status line.
TEST_F(SizeTextLocale, PointWhateverTheLocale) {
  writeFile("comma.src",
            "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \"\"\ngrouping -1\nEND LC_NUMERIC\n");
  const std::string make = "localedef -c -i '" + path("comma.src").string() + "' -f ANSI_X3.4-1968 '" +
                           path("comma").string() + "' >/dev/null 2>&1";
  if (std::system(make.c_str()) == -1 || !std::filesystem::exists(path("comma")))
    GTEST_SKIP() << "localedef cannot build a test locale";
  ::setenv("LOCPATH", dir().c_str(), 1);
  ASSERT_NE(nullptr, std::setlocale(LC_NUMERIC, "comma"));
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 2.5);
  EXPECT_STREQ("2,5", probe);  // the locale is in force
  EXPECT_EQ("2.0Кб.", sizeText(2049));
  EXPECT_EQ("1.0Мб.", sizeText(1048576));
}

TEST(TemporaryPath, DigestAndCrc) {
  UpdateEntry entry;
  entry.name = "abc";
  entry.crc = 0x00ABC123;
  EXPECT_EQ("download/a9993e364706816aba3e25717850c26c9cd0d89d.abc123.tmp", temporaryPath(entry));
  entry.crc = 0;
  EXPECT_EQ("download/a9993e364706816aba3e25717850c26c9cd0d89d.0.tmp", temporaryPath(entry));
}

TEST(BaseUrl, PlainAndDebugForms) {
  ::setenv("VORNASK_WEB_HOST", "127.0.0.1:8080", 1);
  EXPECT_EQ("http://127.0.0.1:8080/", baseUrl(false, "u", "p"));
  EXPECT_EQ("http://имя:pw@127.0.0.1:8080/vuvero/", baseUrl(true, "имя", "pw"));
  EXPECT_EQ("http://127.0.0.1:8080/library/crc.txt?0", fileListUrl(baseUrl(false, "", ""), 0));
  // A space, '#', '?' or '%' in a listed name would cut or change the path.
  EXPECT_EQ("http://h/data/a%20b%231%3F%25.txt", fileUrl("http://h/", "data/a b#1?%.txt"));
  EXPECT_EQ("http://h/music/тема.mp3", fileUrl("http://h/", "music/тема.mp3"));
  // A scheme picks HTTPS (or spells plain HTTP); the credentials go after it.
  ::setenv("VORNASK_WEB_HOST", "https://cdn.example:8443/", 1);
  EXPECT_EQ("https://cdn.example:8443/", baseUrl(false, "u", "p"));
  EXPECT_EQ("https://u:p@cdn.example:8443/vuvero/", baseUrl(true, "u", "p"));
  ::setenv("VORNASK_WEB_HOST", "HTTP://h", 1);
  EXPECT_EQ("http://h/", baseUrl(false, "", ""));
  ::unsetenv("VORNASK_WEB_HOST");
  EXPECT_NE(std::string::npos, baseUrl(false, "", "").find("http://"));
  EXPECT_NE("http:///", baseUrl(false, "", ""));
}

class FileCheckTest : public vtest::Sandbox {};

TEST_F(FileCheckTest, SizeCrcAndEmptyFile) {
  EXPECT_EQ(0xCBF43926u, crc32Of("123456789", 9));
  const std::string file = writeFile("a/b.txt", "123456789").string();
  EXPECT_TRUE(checkFile(file, 9, 0xCBF43926u));
  EXPECT_FALSE(checkFile(file, 9, 0xCBF43927u));
  EXPECT_FALSE(checkFile(file, 8, 0xCBF43926u));
  EXPECT_FALSE(checkFile(path("missing").string(), 9, 0xCBF43926u));
  EXPECT_FALSE(checkFile(path("a").string(), 0, 0));  // a folder
  const std::string empty = writeFile("empty", "").string();
  EXPECT_FALSE(checkFile(empty, 0, 0));
}
