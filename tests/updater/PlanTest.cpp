#include "updater/FileCheck.h"
#include "updater/UpdatePlan.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/updater/InstallFolder.h"

using namespace updater;

namespace {

class PlanTest : public vtest::InstallFolder {
 protected:
  void SetUp() override {
    InstallFolder::SetUp();
    options_.executableFolder = dir().string();
    options_.executableName = "Vornask";
    options_.terminateLeftover = [this](const std::string& path) { terminated_.push_back(path); };
  }

  std::vector<std::string> names(const std::vector<UpdateEntry>& plan) {
    std::vector<std::string> result;
    for (const auto& e : plan) result.push_back(e.name);
    return result;
  }

  PlanOptions options_;
  std::vector<std::string> terminated_;
};

}  // namespace

TEST_F(PlanTest, ComparesLocalFilesAndMapsNames) {
  writeFile("same.txt", "same");
  writeFile("changed.txt", "old");
  writeFile("empty.txt", "");
  const std::string body = line("same.txt", "same") + line("changed.txt", "new") + line("empty.txt", "x") +
                           "version:0:3:1\nvclient:0:3:1\nlang_ru.txt:0:3:1\n" + "music/a.mp3:x:0:1f\n" +
                           "music/a.mp3:x:12:1f\n" + "download/flash.cab:0:3:1\n" + "../evil:0:3:1\n" +
                           "/tmp/evil:0:3:1\n" + "sub/../../evil:0:3:1\n" + "last.txt:0:3:1";
  const auto plan = buildPlan(body, options_);
  ASSERT_EQ(
      (std::vector<std::string>{"changed.txt", "empty.txt", "music/a.mp3", "download/flash.cab", "last.txt"}),
      names(plan));
  EXPECT_EQ("changed.txt", plan[0].target);
  EXPECT_FALSE(plan[0].sound);
  EXPECT_TRUE(plan[2].sound);
  EXPECT_EQ(12u, plan[2].size);
  EXPECT_EQ(0x1Fu, plan[2].crc);
  EXPECT_EQ("flash.cab", plan[3].target);
  for (const auto& e : plan) EXPECT_FALSE(e.client || e.started);
  EXPECT_TRUE(terminated_.empty());
  EXPECT_EQ(3u + 1 + 3 + 3, updateSize(plan, false));
  EXPECT_EQ(3u + 1 + 12 + 3 + 3, updateSize(plan, true));
}

TEST_F(PlanTest, CarriageReturnNeverMatches) {
  writeFile("a.txt", "abc");
  std::string crlf = line("a.txt", "abc");
  crlf.insert(crlf.size() - 1, "\r");
  EXPECT_EQ(1u, buildPlan(crlf, options_).size());
  EXPECT_TRUE(buildPlan(line("a.txt", "abc"), options_).empty());
}

TEST_F(PlanTest, ClientEntryEmptiesPlanAndStopsReading) {
  writeFile("Vornask", "running build");
  const std::string body =
      line("a.txt", "a") + line("download/vornask.exe", "next build") + line("b.txt", "b");
  const auto plan = buildPlan(body, options_);
  ASSERT_EQ(1u, plan.size());
  EXPECT_TRUE(plan[0].client);
  EXPECT_EQ("new.Vornask", plan[0].target);
  ASSERT_EQ(1u, terminated_.size());
  EXPECT_EQ((dir() / "new.Vornask").string(), terminated_[0]);

  // The files listed after a changed client are not even compared.
  std::vector<std::string> compared;
  options_.check = [&compared](const std::string& path, uint32_t, uint32_t) {
    compared.push_back(path);
    return false;
  };
  EXPECT_EQ(1u, buildPlan(body, options_).size());
  EXPECT_EQ((std::vector<std::string>{(dir() / "Vornask").string()}), compared);
  options_.check = nullptr;

  // A current client executable is compared at its full path and skipped.
  const auto same = buildPlan(line("a.txt", "a") + line("download/vornask.exe", "running build"), options_);
  EXPECT_EQ((std::vector<std::string>{"a.txt"}), names(same));
}

TEST_F(PlanTest, NocuAndNodl) {
  const std::string body =
      line("a.txt", "a") + line("download/vornask.exe", "next build") + line("b.txt", "b");
  options_.noClientUpdate = true;
  EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt"}), names(buildPlan(body, options_)));
  EXPECT_TRUE(terminated_.empty());
  options_.noDownload = true;
  EXPECT_TRUE(buildPlan(body, options_).empty());
}

TEST_F(PlanTest, UpdateSizeLeavesOutUncheckedSoundsAndDoesNotWrap) {
  const auto plan = buildPlan(line("music/x.mp3", "tune"), options_);
  ASSERT_EQ(1u, plan.size());
  EXPECT_EQ(0u, updateSize(plan, false));
  EXPECT_EQ(4u, updateSize(plan, true));
  // Two files of 2 GiB are 4 GiB to fetch, not nothing.
  EXPECT_EQ(4ull << 30, updateSize(buildPlan("a:0:2147483648:1\nb:0:2147483648:1\n", options_), false));
}

TEST_F(PlanTest, ManyFilesKeepTheListOrder) {
  std::string body;
  std::vector<std::string> expected;
  for (int i = 0; i < 200; ++i) {
    const std::string name = "f/" + std::to_string(i);
    writeFile(name, "content " + std::to_string(i));
    const bool changed = i % 3 == 0;
    body += line(name, changed ? "other " + std::to_string(i) : "content " + std::to_string(i));
    if (changed) expected.push_back(name);
  }
  EXPECT_EQ(expected, names(buildPlan(body, options_)));
}
