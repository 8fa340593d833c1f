#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "tests/common/Processes.h"
#include "tests/player/MovieFixture.h"

namespace vtest {
namespace {

std::size_t descendants() {
  return descendantsOf(::getpid()).size();
}

struct Usage {
  std::size_t processes, threads, descriptors;
  bool operator==(const Usage& o) const {
    return processes == o.processes && threads == o.threads && descriptors == o.descriptors;
  }
};

std::ostream& operator<<(std::ostream& out, const Usage& u) {
  return out << u.processes << " processes, " << u.threads << " threads, " << u.descriptors << " descriptors";
}

// What this process's descriptors are open on, for a failure's message.
std::multiset<std::string> openTargets() {
  const std::vector<std::string> targets = descriptorTargets();
  return {targets.begin(), targets.end()};
}

std::string difference(const std::multiset<std::string>& a, const std::multiset<std::string>& b) {
  std::string out;
  for (const auto& t : b)
    if (b.count(t) > a.count(t) && out.find(t) == std::string::npos) out += " +" + t;
  for (const auto& t : a)
    if (a.count(t) > b.count(t) && out.find(t) == std::string::npos) out += " -" + t;
  return out;
}

Usage usage() {
  return {descendants(), threadCount(), descriptorTargets().size()};
}

class LeakTest : public MovieFixture {
 protected:
  // One control's life; a released control stays released however far its movie got.
  void cycle(bool untilReady) {
    HostedControl c;
    ASSERT_TRUE(c.created());
    ASSERT_EQ(c.load(path("game/main.swf").string()), platform::com::S_OK);
    if (untilReady)
      ASSERT_GE(c.waitForCall("ready", 30000), 0);
    else
      pumpFor(300);
  }
};

TEST_F(LeakTest, TwentyControlsMadeAndReleasedLeaveNoProcessesThreadsOrDescriptors) {
  // The process's shared parts, made once: the web context, its network process,
  // and what a load stopped part-way starts.
  cycle(true);
  cycle(false);
  Usage settled = usage();
  pumpUntil([&] { return (settled = usage()).processes <= 1; }, 10000);
  const std::multiset<std::string> targets = openTargets();
  for (int i = 0; i < 20; ++i) {
    cycle(i % 2 == 0);
    if (HasFatalFailure()) return;
  }
  Usage now = usage();
  EXPECT_TRUE(pumpUntil([&] { return (now = usage()) == settled; }, 20000))
      << "before: " << settled << "; after: " << now
      << "; descriptors:" << difference(targets, openTargets());
}

TEST_F(LeakTest, AMovieWhoseWebProcessDiesStartsAgain) {
  play();
  if (HasFatalFailure()) return;
  for (int death = 0; death < 2; ++death) {
    long web = 0;
    for (const ProcessEntry& process : descendantsOf(::getpid()))
      if (process.name.rfind("WebKitWebProces", 0) == 0) web = process.pid;
    ASSERT_NE(web, 0) << "no web process below the test";
    const std::size_t before = control->calls().size();
    ASSERT_EQ(::kill(static_cast<pid_t>(web), SIGKILL), 0);
    EXPECT_GE(control->waitForCall("ready", 30000, before), 0) << "the movie did not start again";
  }
}

}  // namespace
}  // namespace vtest
