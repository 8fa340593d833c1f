#include "updater/StartRecord.h"
#include "updater/UpdatePlan.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>

#include "tests/common/WaitFor.h"
#include "tests/updater/InstallFolder.h"

using namespace updater;

namespace {

class StartRecordTest : public vtest::InstallFolder {
 protected:
  void SetUp() override {
    InstallFolder::SetUp();
    options_.executableFolder = dir().string();
    options_.executableName = "Vornask";
    options_.record = &record_;
    // Every read goes through here, so a test sees which files were summed.
    options_.check = [this](const std::string& path, uint32_t size, uint32_t crc) {
      read_.insert(path);
      return checkFile(path, size, crc);
    };
    record_.setRacyMargin(0);
  }

  std::vector<std::string> plan(const std::string& body) {
    read_.clear();
    std::vector<std::string> names;
    for (const UpdateEntry& e : buildPlan(body, options_)) names.push_back(e.name);
    return names;
  }

  // Waits until a file written now gets a change time other than `path`'s, so that a
  // change the test makes next shows in the stamp.
  void passClockTick(const std::string& path) {
    platform::ChangeStamp before, probe;
    ASSERT_TRUE(platform::changeStamp(path, before));
    ASSERT_TRUE(vtest::waitFor(
        [&] {
          writeFile("probe", "x");
          return platform::changeStamp("probe", probe) && probe.changedNs != before.changedNs;
        },
        2000));
    std::filesystem::remove("probe");
  }

  PlanOptions options_;
  StartRecord record_;
  std::set<std::string> read_;
};

}  // namespace

TEST_F(StartRecordTest, UnchangedFilesAreNotReadAgain) {
  writeFile("a.txt", "alpha");
  writeFile("b.txt", "beta");
  writeFile("flash.cab", "cab");
  writeFile("Vornask", "client");
  const std::string body = line("download/vornask.exe", "client") + line("a.txt", "alpha") +
                           line("b.txt", "beta") + line("download/flash.cab", "cab");
  EXPECT_TRUE(plan(body).empty());
  EXPECT_EQ(4u, read_.size());
  // The client and flash.cab are never recorded, and so always read.
  EXPECT_EQ((std::set<std::string>{"a.txt", "b.txt"}), [&] {
    std::set<std::string> keys;
    for (const auto& [path, entry] : record_.entries()) keys.insert(path);
    return keys;
  }());
  EXPECT_TRUE(plan(body).empty());
  EXPECT_EQ((std::set<std::string>{(dir() / "Vornask").string(), "flash.cab"}), read_);
}

// A file is read again after any change on disk or to its entry; when it is
// still right its entry then holds its true stamp.
TEST_F(StartRecordTest, AChangeToTheFileOrItsEntryHasItReadAgain) {
  using Entry = StartRecord::Entry;
  const auto entry = [this](void (*edit)(Entry&)) {
    return [this, edit] {
      Entry e = record_.entries().at("a.txt");
      edit(e);
      record_.clear();
      record_.note("a.txt", e.stamp, e.crc, INT64_MAX);
    };
  };
  const auto rewriteKeepingTimes = [this] {
    struct stat before;
    ASSERT_EQ(0, ::stat("a.txt", &before));
    writeFile("a.txt", "ALPHA");  // same size
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, "a.txt", times, 0));
  };
  const struct {
    const char* name;
    std::function<void()> change;
    bool planned;  // the new bytes differ from the list's
  } cases[] = {
      {"recorded size", entry([](Entry& e) { ++e.stamp.size; }), false},
      {"recorded modification time", entry([](Entry& e) { ++e.stamp.modifiedNs; }), false},
      {"recorded change time", entry([](Entry& e) { --e.stamp.changedNs; }), false},
      {"recorded inode", entry([](Entry& e) { ++e.stamp.inode; }), false},
      {"recorded crc", entry([](Entry& e) { e.crc ^= 1; }), false},
      {"same size, modification time set back", rewriteKeepingTimes, true},
      {"mode changed", [] { ASSERT_EQ(0, ::chmod("a.txt", 0600)); }, false},
      {"replaced by a copy",
       [this] {
         writeFile("copy", "alpha");
         std::filesystem::rename("copy", "a.txt");
       },
       false},
      {"grown", [this] { writeFile("a.txt", "alphabet"); }, true},
      {"removed", [] { std::filesystem::remove("a.txt"); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile("a.txt", "alpha");
    const std::string body = line("a.txt", "alpha");
    plan(body);
    ASSERT_EQ(1u, record_.entries().size());
    passClockTick("a.txt");
    c.change();
    EXPECT_EQ(c.planned, !plan(body).empty());
    EXPECT_EQ(std::set<std::string>{"a.txt"}, read_);
    ASSERT_EQ(c.planned ? 0u : 1u, record_.entries().size());
    if (c.planned) continue;
    Entry now;
    ASSERT_TRUE(platform::changeStamp("a.txt", now.stamp));
    now.crc = crc32Of("alpha", 5);
    EXPECT_EQ(now, record_.entries().at("a.txt"));
  }
}

TEST_F(StartRecordTest, FilesChangedJustNowAreNotRecorded) {
  record_.setRacyMargin(StartRecord::defaultRacyMarginNs);
  writeFile("a.txt", "alpha");
  EXPECT_TRUE(plan(line("a.txt", "alpha")).empty());
  EXPECT_TRUE(record_.entries().empty());
}

TEST_F(StartRecordTest, SavedRecordLoadsAsItWasAndADamagedOneIsIgnoredWhole) {
  StartRecord record;
  record.note("a b/c.txt", platform::ChangeStamp{5, 10, 20, 30}, 0xabc, INT64_MAX);
  record.note("b.txt", platform::ChangeStamp{6, 11, 21, 31}, 0xdef, INT64_MAX);
  ASSERT_EQ(0, record.save(startRecordName));
  ASSERT_EQ(record, StartRecord::load(startRecordName));
  EXPECT_TRUE(StartRecord::load("missing").entries().empty());
  const std::string good = record.format();

  const auto replaced = [&good](const std::string& from, const std::string& to) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty", ""},
      {"other version", replaced("record 1", "record 2")},
      {"cut short", good.substr(0, good.size() - 3)},
      {"no end line", good.substr(0, good.rfind("end "))},
      {"flipped digit", replaced("5 10 20", "5 10 21")},
      {"flipped name", replaced("b.txt", "c.txt")},
      {"extra line", replaced("end ", "1 1 1 1 1 c.txt\nend ")},
      {"trailing bytes", good + "x"},
      {"carriage return", replaced("\n", "\r\n")},
  };
  for (const auto& [name, text] : cases) {
    SCOPED_TRACE(name);
    StartRecord out = record;
    EXPECT_FALSE(StartRecord::parse(text, out));
    EXPECT_TRUE(out.entries().empty());
    vtest::writeWholeFile(startRecordName, text);
    EXPECT_TRUE(StartRecord::load(startRecordName).entries().empty());
  }
}
