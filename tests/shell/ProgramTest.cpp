#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "tests/common/ChildProcess.h"
#include "tests/common/Sandbox.h"

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
