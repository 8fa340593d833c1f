#include "updater/FileCheck.h"
#include "updater/Publish.h"
#include "updater/UpdatePlan.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/common/Sandbox.h"

using namespace updater;

class PublishTest : public vtest::Sandbox {};

TEST_F(PublishTest, ListsNonEmptyFilesSortedAndPlansNothingForItself) {
  writeFile("game/main.swf", "123456789");
  writeFile("game/music/тема.mp3", "abc");
  writeFile("game/b/empty", "");
  writeFile("game/a.txt", "x");
  writeFile("game/library/crc.txt", "stale list\n");
  const std::string game = path("game").string();

  const PublishResult result = publishFolder(game);
  EXPECT_EQ(3u, result.files);
  EXPECT_EQ(13u, result.bytes);
  EXPECT_EQ(
      "a.txt:0:1:8cdc1683\n"
      "main.swf:0:9:cbf43926\n"
      "music/тема.mp3:0:3:352441c2\n",
      readFile("game/library/crc.txt"));

  // Published again, the list does not list itself.
  EXPECT_EQ(3u, publishFolder(game).files);

  PlanOptions options;
  options.check = [&](const std::string& name, uint32_t size, uint32_t crc) {
    return checkFile(game + "/" + name, size, crc);
  };
  EXPECT_TRUE(buildPlan(readFile("game/library/crc.txt"), options).empty());

  // A name the list's format cannot carry is refused, not listed as another file.
  writeFile("game/a:0:1:0", "y");
  EXPECT_THROW(publishFolder(game), std::runtime_error);
}
