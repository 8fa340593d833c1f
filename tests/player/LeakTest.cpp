#include <dirent.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "tests/player/MovieFixture.h"

namespace vtest {
namespace {

std::size_t entries(const char* folder) {
  std::size_t n = 0;
  if (DIR* dir = ::opendir(folder)) {
    while (dirent* e = ::readdir(dir))
      if (e->d_name[0] != '.') ++n;
    ::closedir(dir);
  }
  return n;
}

// Processes below this one, however deep.
std::size_t descendants() {
  std::multimap<long, long> children;
  if (DIR* dir = ::opendir("/proc")) {
    while (dirent* e = ::readdir(dir)) {
      const long pid = std::atol(e->d_name);
      if (pid <= 0) continue;
      std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
      std::string line;
      if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
      std::istringstream rest(line.substr(line.rfind(')') + 2));
      std::string state;
      long parent = 0;
      rest >> state >> parent;
      if (state != "Z") children.emplace(parent, pid);
    }
    ::closedir(dir);
  }
  std::size_t count = 0;
  std::vector<long> open{static_cast<long>(::getpid())};
  while (!open.empty()) {
    const long p = open.back();
    open.pop_back();
    for (auto [it, end] = children.equal_range(p); it != end; ++it, ++count) open.push_back(it->second);
  }
  return count;
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

Usage usage() {
  return {descendants(), entries("/proc/self/task"), entries("/proc/self/fd")};
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
  cycle(true);  // the process's shared parts: the web context and its network process
  Usage settled = usage();
  pumpUntil([&] { return (settled = usage()).processes <= 1; }, 10000);
  for (int i = 0; i < 20; ++i) {
    cycle(i % 2 == 0);
    if (HasFatalFailure()) return;
  }
  Usage now = usage();
  EXPECT_TRUE(pumpUntil([&] { return (now = usage()) == settled; }, 20000))
      << "before: " << settled << "; after: " << now;
}

}  // namespace
}  // namespace vtest
