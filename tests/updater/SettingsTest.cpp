#include "updater/Settings.h"

#include <gtest/gtest.h>

#include "tests/common/Sandbox.h"

using namespace updater;

using Pairs = std::vector<std::pair<std::string, int32_t>>;

TEST(SettingsParse, ValuesByDigitRule) {
  EXPECT_EQ((Pairs{{"downloadSounds", 0}, {"fullyDownloaded", 1}}),
            parseSettings("downloadSounds=0\nfullyDownloaded=1\n"));
  // A CR before the LF makes the value non-zero.
  const Pairs crlf = parseSettings("downloadSounds=0\r\n");
  ASSERT_EQ(1u, crlf.size());
  EXPECT_NE(0, crlf[0].second);
  EXPECT_EQ((Pairs{{"k", -12}, {"bare", 0}, {"x", 0}, {"n", 7}}), parseSettings("k=-12\nbare\nx=\nn=007"));
  EXPECT_EQ(Pairs{}, parseSettings(""));
}

class SettingsFile : public vtest::Sandbox {};

TEST_F(SettingsFile, WrittenFormReadsBack) {
  const std::string file = path("vornask.ini").string();
  EXPECT_EQ(Pairs{}, readSettings(file));
  writeFile("vornask.ini", "garbage that is longer than the written form\n");
  ASSERT_TRUE(writeSettings(file, true, false));
  EXPECT_EQ("downloadSounds=1\nfullyDownloaded=0\n", readFile("vornask.ini"));
  EXPECT_EQ((Pairs{{"downloadSounds", 1}, {"fullyDownloaded", 0}}), readSettings(file));
  EXPECT_FALSE(writeSettings(path("no/such/folder/vornask.ini").string(), false, true));
}
