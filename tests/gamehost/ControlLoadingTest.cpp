// Loading the tests' control library from its cabinet.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "gamehost/FlashLoader.h"
#include "tests/common/Sandbox.h"

namespace com = platform::com;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const fs::path built = VORNASK_TEST_CONTROL_DIR;

class ControlLoading : public vtest::Sandbox {
 protected:
  void SetUp() override {
    Sandbox::SetUp();
    ::setenv("VORNASK_TEST_CONTROL_LOG", path("calls.log").c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("VORNASK_TEST_CONTROL_LOG");
    Sandbox::TearDown();
  }

  gamehost::ControlSource counted() {
    gamehost::ControlSource real = gamehost::controlSource(dir().string());
    return {[this, unpack = real.unpack] {
              ++unpacks;
              return unpack();
            },
            [this, load = real.load] {
              ++loads;
              return load();
            }};
  }
  void copyIn(const fs::path& from, const std::string& name) { fs::copy_file(from, path(name)); }
  std::string calls() const { return vtest::readWholeFile(path("calls.log")); }

  int unpacks = 0, loads = 0;
};

}  // namespace

TEST_F(ControlLoading, FirstWindowUnpacksAndLoadsASecondOneReusesTheFactory) {
  copyIn(built / "flash.cab", "flash.cab");
  gamehost::FlashLoader loader(counted());
  com::IShockwaveFlash* first = loader.create();
  ASSERT_TRUE(first);
  EXPECT_EQ(vtest::readWholeFile(path("flash.ocx")), vtest::readWholeFile(built / "flash.ocx"));
  com::IShockwaveFlash* second = loader.create();
  ASSERT_TRUE(second);
  EXPECT_NE(first, second);
  EXPECT_EQ(unpacks, 1);
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(calls(),
            "DllGetClassObject\nCreateInstance\nput_WMode direct\nCreateInstance\nput_WMode direct\n");
  first->Release();
  second->Release();
}

TEST_F(ControlLoading, SameSizeAndTimeIsSkippedAnotherTimeOrSizeIsExtractedAgain) {
  copyIn(built / "flash.cab", "flash.cab");
  const std::string cab = path("flash.cab").string();
  const fs::path ocx = path("flash.ocx");
  const std::string original = vtest::readWholeFile(built / "flash.ocx");
  gamehost::unpackCabinet(cab, dir().string());
  ASSERT_EQ(vtest::readWholeFile(ocx), original);
  const auto entryTime = fs::last_write_time(ocx);

  const std::string sameSize(original.size(), 'x');
  vtest::writeWholeFile(ocx, sameSize);
  fs::last_write_time(ocx, entryTime);
  gamehost::unpackCabinet(cab, dir().string());
  EXPECT_EQ(vtest::readWholeFile(ocx), sameSize);  // skipped

  fs::last_write_time(ocx, entryTime + 2s);
  gamehost::unpackCabinet(cab, dir().string());
  EXPECT_EQ(vtest::readWholeFile(ocx), original);
  EXPECT_EQ(fs::last_write_time(ocx), entryTime);

  vtest::writeWholeFile(ocx, "short");
  fs::last_write_time(ocx, entryTime);
  gamehost::unpackCabinet(cab, dir().string());
  EXPECT_EQ(vtest::readWholeFile(ocx), original);
}

TEST_F(ControlLoading, WithoutACabinetAUsableLibraryIsEnough) {
  copyIn(built / "flash.ocx", "flash.ocx");
  gamehost::FlashLoader loader(counted());
  com::IShockwaveFlash* control = loader.create();
  ASSERT_TRUE(control);
  EXPECT_EQ(unpacks, 1);
  control->Release();
}

TEST_F(ControlLoading, WithNeitherFileEveryCreationFailsAndTriesAgain) {
  gamehost::FlashLoader loader(counted());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(loader.create(), nullptr);
  EXPECT_EQ(unpacks, 3);
  EXPECT_EQ(loads, 3);
  EXPECT_FALSE(loader.holdsFactory());
}

TEST_F(ControlLoading, ALibraryWithoutTheEntryPointGivesNoControl) {
  copyIn(VORNASK_NO_ENTRY_LIBRARY, "flash.ocx");
  gamehost::FlashLoader loader(counted());
  EXPECT_EQ(loader.create(), nullptr);
  EXPECT_EQ(loader.create(), nullptr);
  EXPECT_EQ(loads, 2);
  EXPECT_EQ(calls(), "");
}

TEST_F(ControlLoading, EntriesNamedOutsideTheFolderAreNotUnpacked) {
  std::string cab = vtest::readWholeFile(VORNASK_ESCAPE_CABINET);
  const std::size_t at = cab.find("aa\\x.txt");
  ASSERT_NE(at, std::string::npos);
  fs::create_directories(path("install"));
  for (const std::string name : {"../x.txt", "/tmp/x.t"}) {
    std::string renamed = cab;
    renamed.replace(at, 8, name);
    vtest::writeWholeFile(path("escape.cab"), renamed);
    gamehost::unpackCabinet(path("escape.cab").string(), path("install").string());
  }
  EXPECT_FALSE(fs::exists(path("x.txt")));
  EXPECT_FALSE(fs::exists("/tmp/x.t"));
  EXPECT_TRUE(fs::is_empty(path("install")));
  // The entry's own name, "aa\\x.txt", lands in the folder "aa" when there is one.
  fs::create_directories(path("install/aa"));
  gamehost::unpackCabinet(VORNASK_ESCAPE_CABINET, path("install").string());
  EXPECT_EQ(vtest::readWholeFile(path("install/aa/x.txt")), "escaped\n");
}
