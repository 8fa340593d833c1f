// Cabinets made by gcab at build time: a.txt ("hello\n", 2020-02-29 13:45:58) and
// b.txt ("second file\n", 1999-12-31 23:59:58), both stored from UTC.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>

#include "platform/cab/Cabinet.h"
#include "tests/common/Sandbox.h"
#include "tests/common/ScopedEnv.h"

namespace fs = std::filesystem;

namespace {

class Cabinet : public vtest::Sandbox {
 protected:
  void TearDown() override {
    tz_.reset();
    ::tzset();
    Sandbox::TearDown();
  }
  void zone(const char* tz) {
    tz_.emplace("TZ", tz);
    ::tzset();
  }
  std::vector<platform::CabinetEntry> list(const std::string& cab) {
    std::vector<platform::CabinetEntry> seen;
    EXPECT_EQ(platform::iterateCabinet(cab,
                                       [&](const platform::CabinetEntry& e, std::string&) {
                                         seen.push_back(e);
                                         return platform::CabinetAnswer::Skip;
                                       }),
              0);
    return seen;
  }

 private:
  std::optional<vtest::ScopedEnv> tz_;
};

const std::string cabinet = VORNASK_TEST_CABINET;

}  // namespace

TEST_F(Cabinet, EntriesCarryNameSizeAndTheirTimeReadAsLocalTime) {
  zone("UTC");
  auto entries = list(cabinet);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "a.txt");
  EXPECT_EQ(entries[0].size, 6u);
  EXPECT_EQ(entries[0].time, 1582983958);
  EXPECT_EQ(entries[1].name, "b.txt");
  EXPECT_EQ(entries[1].size, 12u);
  EXPECT_EQ(entries[1].time, 946684798);
  EXPECT_TRUE(fs::is_empty(dir()));  // skipped: nothing written

  zone("EST+5");  // five hours west of Greenwich
  entries = list(cabinet);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].time, 1582983958 + 5 * 3600);
  EXPECT_EQ(platform::localTimeToUnix(1980, 1, 1, 0, 0, 0), 315532800 + 5 * 3600);
}

TEST_F(Cabinet, ExtractedFilesReplaceOldOnesAndTakeTheEntryTime) {
  zone("UTC");
  writeFile("a.txt", "old content that is longer");
  std::vector<std::string> targets;
  EXPECT_EQ(platform::iterateCabinet(cabinet,
                                     [&](const platform::CabinetEntry& e, std::string& target) {
                                       target = path(e.name).string();
                                       targets.push_back(target);
                                       return e.name == "a.txt" ? platform::CabinetAnswer::Extract
                                                                : platform::CabinetAnswer::Skip;
                                     }),
            0);
  EXPECT_EQ(targets.size(), 2u);
  EXPECT_EQ(readFile("a.txt"), "hello\n");
  EXPECT_FALSE(fs::exists(path("b.txt")));
  platform::FileStamp stamp;
  ASSERT_TRUE(platform::fileStamp(path("a.txt").string(), stamp));
  EXPECT_EQ(stamp.size, 6u);
  EXPECT_EQ(stamp.time, 1582983958);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir()), fs::directory_iterator()), 1);  // no temporary left
  EXPECT_FALSE(platform::fileStamp(dir().string(), stamp));  // a folder is no file
}

TEST_F(Cabinet, MissingOrBrokenCabinetsAreReported) {
  int calls = 0;
  auto count = [&](const platform::CabinetEntry&, std::string&) {
    ++calls;
    return platform::CabinetAnswer::Extract;
  };
  EXPECT_EQ(platform::iterateCabinet(path("none.cab").string(), count), ENOENT);
  writeFile("bad.cab", "MSCF but not really a cabinet at all");
  EXPECT_EQ(platform::iterateCabinet(path("bad.cab").string(), count), EBADMSG);
  EXPECT_EQ(calls, 0);
}

TEST_F(Cabinet, ExtractionFollowsNoLinkAndAFailedOneIsReportedAndChangesNothing) {
  zone("UTC");
  writeFile("outside", "not to be touched");
  const fs::path outside = path("outside");
  const auto outsideTime = fs::last_write_time(outside);
  // What the old temporary names were; a link may stand at the target too.
  fs::create_directories(path("x"));
  for (const std::string& name : {"a.txt.part" + std::to_string(::getpid()), std::string("b.txt")})
    fs::create_symlink(outside, path("x") / name);
  std::string cab = vtest::readWholeFile(cabinet);
  // The entries' data is cut short: the headers still read.
  writeFile("cut.cab", cab.substr(0, cab.size() - 4));

  struct Case {
    std::string cabinet;
    int error;
    std::vector<std::string> names;  // in x/ afterwards
  };
  for (const Case& c :
       {Case{path("cut.cab").string(), EIO, {"a.txt.part" + std::to_string(::getpid()), "b.txt"}},
        Case{cabinet, 0, {"a.txt", "a.txt.part" + std::to_string(::getpid()), "b.txt"}}}) {
    SCOPED_TRACE(c.cabinet);
    std::string failed;
    EXPECT_EQ(platform::iterateCabinet(
                  c.cabinet,
                  [&](const platform::CabinetEntry& e, std::string& target) {
                    target = (path("x") / e.name).string();
                    return platform::CabinetAnswer::Extract;
                  },
                  &failed),
              c.error);
    EXPECT_EQ(failed, c.error ? "a.txt" : "");
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path("x"))) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, c.names);  // no temporary left
    EXPECT_EQ(readFile("outside"), "not to be touched");
    EXPECT_EQ(fs::last_write_time(outside), outsideTime);
  }
  // The link at the target was replaced by the entry.
  EXPECT_FALSE(fs::is_symlink(path("x/b.txt")));
  EXPECT_EQ(readFile("x/b.txt"), "second file\n");
  platform::FileStamp stamp;
  EXPECT_FALSE(platform::fileStamp(path("x/a.txt.part" + std::to_string(::getpid())).string(), stamp));
}
