#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/files/FolderLock.h"
#include "shell/Replacement.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/Sandbox.h"
#include "tests/common/WaitFor.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Replacement : public vtest::Sandbox {
 protected:
  const shell::ReplacementTiming fast{10ms, 3000ms, 3};
};

TEST_F(Replacement, CopiesThenStartsTheTargetWithTheArgumentsSplitAgain) {
  const fs::path script =
      writeFile("new.Vornask", "#!/bin/sh\necho \"$#:$1:$2:$3\" > '" + path("out").string() + "'\n");
  ::chmod(script.c_str(), 0755);
  writeFile("Vornask", "old");
  ASSERT_TRUE(shell::runReplacement(script.string(), path("Vornask").string(), "a b nodl", fast));
  EXPECT_EQ(readFile("Vornask"), readFile("new.Vornask"));
  ASSERT_TRUE(
      vtest::waitFor([&] { return fs::exists(path("out")) && fs::file_size(path("out")) > 0; }, 5000));
  EXPECT_EQ(readFile("out"), "3:a:b:nodl\n");
}

TEST_F(Replacement, GivesUpOnATargetThatCanNeverBeWritten) {
  writeFile("new.Vornask", "x");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(
      shell::runReplacement(path("new.Vornask").string(), path("no/such/folder/Vornask").string(), "", fast));
  EXPECT_FALSE(shell::runReplacement(path("new.Vornask").string(), "", "", fast));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

// The program itself: the old executable is still running, so the copy waits
// for it to end, then the new copy starts with the remaining arguments.
TEST_F(Replacement, ProgramWaitsForTheRunningOldExecutable) {
  fs::copy_file(VORNASK_EXE, path("new.Vornask"));
  // The old executable runs until its input closes.
  fs::copy_file("/bin/cat", path("Vornask"));
  const std::string target = path("Vornask").string();
  vtest::ChildProcess old(target, {}, {}, dir().string());
  vtest::ChildProcess replacer(path("new.Vornask").string(), {"@" + target, "noStupidPath"},
                               {{"VORNASK_UI", "headless"}, {"VORNASK_WEB_HOST", "127.0.0.1:9"}},
                               dir().string());
  std::this_thread::sleep_for(1200ms);  // the replacer's tries while the old one runs
  EXPECT_EQ(vtest::readWholeFile(target), vtest::readWholeFile("/bin/cat"));
  old.closeInput();
  EXPECT_EQ(old.wait(10000), 0);
  EXPECT_EQ(replacer.wait(10000), 0);
  EXPECT_EQ(vtest::readWholeFile(target), vtest::readWholeFile(VORNASK_EXE));
  // The started copy is a headless client sharing the replacer's input and error pipes.
  ASSERT_TRUE(replacer.waitForLine("window: shown", 10000)) << replacer.errorOutput();
  replacer.send("close\n");
  ASSERT_TRUE(replacer.waitForLine("window: hidden", 10000)) << replacer.errorOutput();
  EXPECT_TRUE(replacer.waitForEnd(10000));
}

TEST_F(Replacement, ProgramGivesUpWithAMessageAndExitCodeZero) {
  vtest::ChildProcess replacer(VORNASK_EXE, {"@" + path("missing/Vornask").string(), "nodl"},
                               {{"VORNASK_UI", "headless"}}, dir().string());
  EXPECT_EQ(replacer.wait(30000), 0);
  EXPECT_NE(replacer.errorOutput().find("cannot copy"), std::string::npos) << replacer.errorOutput();
  EXPECT_FALSE(fs::exists(path("missing")));
}

// The old client may still hold its folder's lock after its file was
// replaced: the new copy starts once the lock is free, not to end at once.
TEST_F(Replacement, StartsTheTargetOnlyOnceTheOldClientReleasedItsFolder) {
  const fs::path script =
      writeFile("new.Vornask", "#!/bin/sh\necho started > '" + path("out").string() + "'\n");
  ::chmod(script.c_str(), 0755);
  writeFile("Vornask", "old");
  auto held = std::make_unique<platform::FolderLock>();
  ASSERT_EQ(held->take(path(shell::folderLockName).string()), 0);
  const auto start = std::chrono::steady_clock::now();  // the lock is let go 800 ms after this at least
  std::thread release([&] {
    std::this_thread::sleep_for(800ms);
    held.reset();
  });
  EXPECT_TRUE(shell::runReplacement(script.string(), path("Vornask").string(), "", fast));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 700ms);
  release.join();
  EXPECT_TRUE(
      vtest::waitFor([&] { return fs::exists(path("out")) && fs::file_size(path("out")) > 0; }, 5000));
}
