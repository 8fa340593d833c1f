#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include "tests/common/ChildProcess.h"
#include "tests/common/Sandbox.h"
#include "tests/common/ScopedEnv.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Program : public vtest::Sandbox {
 protected:
  std::map<std::string, std::string> env() const {
    return {
        {"VORNASK_UI", "headless"}, {"VORNASK_WEB_HOST", "127.0.0.1:9"}, {"XDG_CONFIG_HOME", dir().string()}};
  }
};

// The console: the list fetch fails against a closed port, the check box is
// clicked from standard input, then the window is closed.
TEST_F(Program, ConsoleModeDrivenThroughStandardInput) {
  vtest::ChildProcess p(VORNASK_EXE, {"noStupidPath"}, env(), dir().string());
  ASSERT_TRUE(p.waitForLine("window: shown", 10000)) << p.errorOutput();
  ASSERT_TRUE(p.waitForLine("check: off enabled", 10000)) << p.errorOutput();
  p.send("check\n");
  ASSERT_TRUE(p.waitForLine("check: on enabled", 10000)) << p.errorOutput();
  p.send("close\n");
  ASSERT_TRUE(p.waitForLine("window: hidden", 10000)) << p.errorOutput();
  EXPECT_EQ(p.wait(10000), 0);
  EXPECT_NE(p.errorOutput().find("status: Получение списка файлов\n"), std::string::npos);
}

TEST_F(Program, EndOfInputLeavesTheLauncherRunning) {
  vtest::ChildProcess p(VORNASK_EXE, {"noStupidPath"}, env(), dir().string());
  ASSERT_TRUE(p.waitForLine("window: shown", 10000)) << p.errorOutput();
  p.closeInput();
  EXPECT_EQ(p.wait(1000), -1);  // still running
}

// Two clients in one folder would resume into each other's downloads: the
// second says so and ends with 0, the first goes on and shows its window.
TEST_F(Program, ASecondClientInTheSameFolderEndsAtOnce) {
  vtest::ChildProcess first(VORNASK_EXE, {"noStupidPath"}, env(), dir().string());
  ASSERT_TRUE(first.waitForLine("window: shown", 10000)) << first.errorOutput();
  // The second one's records (INF shown) join its lines.
  auto recorded = env();
  recorded["VORNASK_LOG"] = "client=6";
  std::optional<vtest::ScopedEnv> verbose(std::in_place, "VORNASK_TEST_VERBOSE", "1");
  vtest::ChildProcess second(VORNASK_EXE, {"noStupidPath"}, recorded, dir().string());
  verbose.reset();
  EXPECT_EQ(second.wait(10000), 0);
  EXPECT_NE(second.errorOutput().find("INF ["), std::string::npos) << second.errorOutput();
  EXPECT_NE(second.errorOutput().find("another client runs in " + dir().string()), std::string::npos)
      << second.errorOutput();
  EXPECT_EQ(second.errorOutput().find("window: shown"), std::string::npos);
  // The running one brings its window to the front instead.
  EXPECT_TRUE(first.waitForLine("front: window: shown", 10000)) << first.errorOutput();
  EXPECT_EQ(first.wait(500), -1);  // still running
  first.send("close\n");
  ASSERT_TRUE(first.waitForLine("window: hidden", 10000)) << first.errorOutput();
  EXPECT_EQ(first.wait(10000), 0);
  // Once it has ended the folder is free again.
  vtest::ChildProcess third(VORNASK_EXE, {"noStupidPath"}, env(), dir().string());
  EXPECT_TRUE(third.waitForLine("window: shown", 10000)) << third.errorOutput();
  third.send("close\n");
  EXPECT_EQ(third.wait(10000), 0);
}
