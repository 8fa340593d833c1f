#include "logging/LevelSettings.h"

#include <gtest/gtest.h>

namespace {

using mlog::parseLevelSettings;

TEST(LevelSettings, NamesAndAGlobalLevelInAnyOrder) {
  const mlog::LevelSettings settings = parseLevelSettings("http=7, download = 6 ,5,nexus_utils=0");
  EXPECT_EQ(5, settings.defaultLevel);
  EXPECT_EQ(7, settings.levelOf("http"));
  EXPECT_EQ(6, settings.levelOf("download"));
  EXPECT_EQ(0, settings.levelOf("nexus_utils"));
  EXPECT_EQ(5, settings.levelOf("clock"));

  EXPECT_EQ(7, parseLevelSettings("7").levelOf("buffers"));
  EXPECT_EQ(3, parseLevelSettings("http=6,http=3").levelOf("http"));
  EXPECT_EQ(7, parseLevelSettings("007").defaultLevel);
}

TEST(LevelSettings, ItemsThatAreNotLevelsChangeNothing) {
  const char* const rejected[] = {"",
                                  ",",
                                  ",,",
                                  "8",
                                  "-1",
                                  "http=-1",
                                  "http=8",
                                  "http=99999999999999999999",
                                  "99999999999999999999",
                                  "4294967303",
                                  "http=4294967303",
                                  "=3",
                                  " = 3",
                                  "http=",
                                  "http",
                                  "http=7=7",
                                  "http=7x",
                                  "x7",
                                  "0x7",
                                  "+7",
                                  "7.0",
                                  "http=\x7f"};
  for (const char* text : rejected) {
    const mlog::LevelSettings settings = parseLevelSettings(text);
    EXPECT_EQ(4, settings.defaultLevel) << text;
    EXPECT_TRUE(settings.named.empty()) << text;
  }
  const mlog::LevelSettings mixed = parseLevelSettings("bad,http=9,download=6,=2,12");
  EXPECT_EQ(4, mixed.defaultLevel);
  EXPECT_EQ(4, mixed.levelOf("http"));
  EXPECT_EQ(6, mixed.levelOf("download"));
  EXPECT_EQ(1u, mixed.named.size());
}

}  // namespace
