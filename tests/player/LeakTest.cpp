#include <dirent.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <map>
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

// Processes below this one, however deep, with their command names.
std::vector<std::pair<long, std::string>> descendantList() {
  std::multimap<long, long> children;
  std::map<long, std::string> names;
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
      const std::size_t open = line.find('(');
      if (state != "Z")
        children.emplace(parent, pid), names[pid] = line.substr(open + 1, line.rfind(')') - open - 1);
    }
    ::closedir(dir);
  }
  std::vector<std::pair<long, std::string>> found;
  std::vector<long> open{static_cast<long>(::getpid())};
  while (!open.empty()) {
    const long p = open.back();
    open.pop_back();
    for (auto [it, end] = children.equal_range(p); it != end; ++it) {
      found.emplace_back(it->second, names[it->second]);
      open.push_back(it->second);
    }
  }
  return found;
}

std::size_t descendants() {
  return descendantList().size();
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

// What this process's descriptors are open on, by number, for a failure's message.
std::map<int, std::string> descriptorTargets() {
  std::map<int, std::string> targets;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (dirent* e = ::readdir(dir)) {
      if (e->d_name[0] == '.') continue;
      char target[512];
      const std::string link = std::string("/proc/self/fd/") + e->d_name;
      const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
      targets[std::atoi(e->d_name)] = n > 0 ? std::string(target, static_cast<std::size_t>(n)) : "?";
    }
    ::closedir(dir);
  }
  return targets;
}

// Descriptors opened (+) and closed (-) between two listings.
std::string difference(const std::map<int, std::string>& a, const std::map<int, std::string>& b) {
  std::ostringstream out;
  for (const auto& [fd, target] : b)
    if (auto it = a.find(fd); it == a.end() || it->second != target)
      out << " +" << target << " (" << fd << ")";
  for (const auto& [fd, target] : a)
    if (auto it = b.find(fd); it == b.end() || it->second != target)
      out << " -" << target << " (" << fd << ")";
  return out.str();
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
  // The process's shared parts, made once: the web context, its network process,
  // and what a load stopped part-way starts.
  cycle(true);
  cycle(false);
  Usage settled = usage();
  pumpUntil([&] { return (settled = usage()).processes <= 1; }, 10000);
  const std::map<int, std::string> targets = descriptorTargets();
  for (int i = 0; i < 20; ++i) {
    cycle(i % 2 == 0);
    if (HasFatalFailure()) return;
  }
  Usage now = usage();
  EXPECT_TRUE(pumpUntil([&] { return (now = usage()) == settled; }, 20000))
      << "before: " << settled << "; after: " << now
      << "; descriptors:" << difference(targets, descriptorTargets());
}

TEST_F(LeakTest, AMovieWhoseWebProcessDiesStartsAgain) {
  play();
  if (HasFatalFailure()) return;
  for (int death = 0; death < 2; ++death) {
    long web = 0;
    for (const auto& [pid, name] : descendantList())
      if (name.rfind("WebKitWebProces", 0) == 0) web = pid;
    ASSERT_NE(web, 0) << "no web process below the test";
    const std::size_t before = control->calls().size();
    ASSERT_EQ(::kill(static_cast<pid_t>(web), SIGKILL), 0);
    EXPECT_GE(control->waitForCall("ready", 30000, before), 0) << "the movie did not start again";
  }
}

}  // namespace
}  // namespace vtest
