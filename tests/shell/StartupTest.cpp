#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "platform/ui/MessageLoop.h"
#include "shell/Startup.h"
#include "shell/ThreadMessages.h"
#include "tests/common/Sandbox.h"
#include "tests/shell/Fakes.h"

namespace fs = std::filesystem;
namespace ui = platform::ui;

namespace {

class Startup : public vtest::Sandbox {
 protected:
  void SetUp() override {
    Sandbox::SetUp();
    cwd_ = fs::current_path();
  }
  void TearDown() override {
    fs::current_path(cwd_);
    Sandbox::TearDown();
  }
  // The fakes with an install check and an HTTP engine that journal what they saw.
  shell::ClientParts parts() {
    shell::ClientParts p = vtest::fakeParts(j, nullptr);
    p.installCheck = [this](const std::string& folder) {
      j.events.push_back("install check " + folder);
      return installAnswer;
    };
    p.prepareHttp = [this](const std::string& userAgent, ui::ThreadId uiThread) {
      j.events.push_back("http " + userAgent + " in " + fs::current_path().string());
      // The loop ends once it has run what the engine would post.
      shell::post(uiThread, shell::InvokeMessage{[] { ui::postQuitMessage(0); }});
    };
    return p;
  }
  // The whole program with these arguments, as main() hands them over.
  int runProgram(const std::vector<std::string>& arguments) {
    int code = -1;
    std::thread([&] { code = shell::runProgram((dir() / "Vornask").string(), arguments, parts()); }).join();
    return code;
  }
  // Normal mode on a thread of its own, as the entry point runs it.
  int run(bool skipInstallCheck) {
    shell::StartOptions o;
    o.executableFolder = fs::canonical(dir()).string();
    o.skipInstallCheck = skipInstallCheck;
    int code = -1;
    std::thread([&] { code = shell::runClient(o, parts()); }).join();
    return code;
  }

  vtest::Journal j;
  bool installAnswer = true;
  fs::path cwd_;
};

}  // namespace

TEST_F(Startup, CheckThenFolderThenHttpThenClientThenFileList) {
  const std::string folder = fs::canonical(dir()).string();
  EXPECT_EQ(run(false), 0);
  ASSERT_GE(j.events.size(), 4u);
  EXPECT_EQ(j.events[0], "install check " + folder);
  EXPECT_EQ(j.events[1], "http Vornask client v1.7.0 in " + folder);
  EXPECT_EQ(j.events[2], "launcher created");
  EXPECT_EQ(j.events[3], "start file list");
  EXPECT_EQ(j.count("updater destroyed"), 1);
}

TEST_F(Startup, RefusedInstallCheckEndsAtOnce) {
  installAnswer = false;
  EXPECT_EQ(run(false), 0);
  EXPECT_EQ(j.events, std::vector<std::string>{"install check " + fs::canonical(dir()).string()});
  EXPECT_EQ(fs::current_path(), cwd_);
}

TEST_F(Startup, SkippingTheInstallCheckKeepsTheFolder) {
  EXPECT_EQ(run(true), 0);
  ASSERT_GE(j.events.size(), 2u);
  EXPECT_EQ(j.events[0], "http Vornask client v1.7.0 in " + cwd_.string());
  EXPECT_EQ(j.events[1], "launcher created");
}

TEST_F(Startup, ProgramArgumentsCountAsTheyArriveWhateverQuotesTheyHold) {
  installAnswer = false;
  for (const char* first : {"a \"b", "\"x", "\"", ""}) {
    j.events.clear();
    EXPECT_EQ(runProgram({first, "noStupidPath"}), 0);
    ASSERT_FALSE(j.events.empty());
    EXPECT_EQ(j.events[0].rfind("http ", 0), 0u) << "first argument [" << first << "]: " << j.events[0];
  }
  j.events.clear();
  EXPECT_EQ(runProgram({}), 0);
  EXPECT_EQ(j.events, std::vector<std::string>{"install check " + dir().string()});
}
