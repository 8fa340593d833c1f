#include "base/Singleton.h"
#include "logging/Log.h"
#include "logging/Manager.h"
#include "logging/StreamPool.h"
#include "tests/logging/LogCapture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

class Manager : public vtest::LogCapture {};

TEST_F(Manager, ParticipantsOfOneNameShareTheirEntry) {
  mlog::LogParticipant first("shared_name");
  mlog::LogParticipant second("shared_name");
  mlog::LogParticipant other("other_name");
  EXPECT_EQ(&first.entry(), &second.entry());
  EXPECT_NE(&first.entry(), &other.entry());
  mlog::Manager::instance().setLevel("shared_name", 6);
  EXPECT_EQ(6, second.level());
  EXPECT_EQ(mlog::Manager::instance().defaultLevel(), other.level());
  mlog::Manager::instance().setLevel("shared_name", 4);
}

TEST_F(Manager, DevicesTakeOnlyLevelsUpToTheirMaximumInTheOrderAdded) {
  mlog::LogParticipant participant("device_levels");
  mlog::Manager::instance().setLevel("device_levels", 7);
  boost::intrusive_ptr<vtest::MemoryDevice> errorsOnly(new vtest::MemoryDevice("errors", mlog::Error));
  mlog::Manager::instance().addDevice(0, errorsOnly);

  MLOG(participant, mlog::Debug) << "trace";
  MLOG(participant, mlog::Error) << "failure";
  mlog::Manager::instance().setLevel("device_levels", 4);

  EXPECT_EQ((std::vector<int>{7, 3}), memory->levels());
  EXPECT_EQ(std::vector<int>{3}, errorsOnly->levels());
  const auto devices = mlog::Manager::instance().devices(0);
  ASSERT_EQ(2u, devices.size());
  EXPECT_EQ("memory", devices[0]->name());
  EXPECT_EQ("errors", devices[1]->name());
}

TEST_F(Manager, RecordGoesToGroupZeroAndToItsOwnGroupOnly) {
  mlog::Manager& manager = mlog::Manager::instance();
  boost::intrusive_ptr<vtest::MemoryDevice> groupOne(new vtest::MemoryDevice("one"));
  boost::intrusive_ptr<vtest::MemoryDevice> groupTwo(new vtest::MemoryDevice("two"));
  manager.addDevice(2, groupTwo);
  manager.addDevice(1, groupOne);
  ASSERT_GE(manager.groupCount(), 3u);

  mlog::LogParticipant plain("routing_plain");
  mlog::LogParticipant grouped("routing_grouped");
  mlog::LogParticipant beyond("routing_beyond");
  manager.setGroup("routing_grouped", 2);
  manager.setGroup("routing_beyond", static_cast<int>(manager.groupCount()));

  MLOG(plain, mlog::Error) << "plain";
  MLOG(grouped, mlog::Error) << "grouped";
  MLOG(beyond, mlog::Error) << "beyond";
  manager.removeDevice(groupOne);
  manager.removeDevice(groupTwo);

  EXPECT_EQ(3u, memory->records().size());
  EXPECT_TRUE(groupOne->records().empty());
  ASSERT_EQ(1u, groupTwo->records().size());
  EXPECT_NE(std::string::npos, groupTwo->records()[0].find("<routing_grouped> grouped\n"));
}

TEST_F(Manager, RecordNoDeviceAcceptsIsDropped) {
  mlog::LogParticipant participant("nobody_takes");
  mlog::Manager::instance().setLevel("nobody_takes", 7);
  memory->setMaxLevel(mlog::Warning);
  MLOG(participant, mlog::Info) << "dropped";
  mlog::Manager::instance().setLevel("nobody_takes", 4);
  EXPECT_TRUE(memory->records().empty());
}

TEST_F(Manager, RemovedDeviceSurvivesUntilLastUserLetsGo) {
  boost::intrusive_ptr<vtest::MemoryDevice> device(new vtest::MemoryDevice("temporary"));
  mlog::Manager::instance().addDevice(0, device);
  EXPECT_EQ(2u, device->reference_count());
  mlog::Manager::instance().removeDevice(device);
  EXPECT_EQ(1u, device->reference_count());
}

// The manager reads VORNASK_LOG once when it is built, so these run in a fresh process where
// nothing has built it yet.
TEST(ManagerEnvironmentDeathTest, PerNameAndGlobalLevelsApplyToLaterParticipants) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("VORNASK_LOG", "5,http=7,download=6,clock=9,bad,=3", 1);
        mlog::LogParticipant http("http");
        mlog::LogParticipant download("download");
        mlog::LogParticipant clock("clock");
        mlog::LogParticipant later("later");
        std::fprintf(stderr, "levels %d %d %d %d\n", http.level(), download.level(), clock.level(),
                     later.level());
        std::exit(0);
      },
      testing::ExitedWithCode(0), "levels 7 6 5 5\n");
}

TEST(ManagerEnvironmentDeathTest, SingleNumberRaisesEveryParticipant) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("VORNASK_LOG", "7", 1);
        mlog::LogParticipant buffers("buffers");
        MLOG(buffers, mlog::Debug) << "debug is on";
        std::fprintf(stderr, "level %d\n", buffers.level());
        std::exit(0);
      },
      testing::ExitedWithCode(0), "level 7\n");
}

TEST(ManagerEnvironmentDeathTest, UnsetLeavesEveryLevelAtFour) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        unsetenv("VORNASK_LOG");
        mlog::LogParticipant http("http");
        std::fprintf(stderr, "level %d\n", http.level());
        std::exit(0);
      },
      testing::ExitedWithCode(0), "level 4\n");
}

struct WritesAtExit {
  ~WritesAtExit() { std::fprintf(stderr, "records %zu\n", mlog::detail::StreamPool::instance().taken()); }
};

TEST(ManagerExitDeathTest, StreamPoolOutlivesObjectsMadeAfterTheManager) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        mlog::LogParticipant participant("exit_order");
        mstd::singleton<WritesAtExit>::instance();
        MLOG(participant, mlog::Error) << "first record";
        std::exit(0);
      },
      testing::ExitedWithCode(0), "records 1\n");
}

}  // namespace
