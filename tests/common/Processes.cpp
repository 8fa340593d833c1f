#include "tests/common/Processes.h"

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "tests/common/Files.h"

namespace fs = std::filesystem;

namespace vtest {
namespace {

// "PID (NAME) STATE PARENT …"; the name may hold spaces and parentheses.
bool parseStat(const std::string& stat, ProcessEntry& out) {
  const std::size_t open = stat.find('(');
  const std::size_t close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open || close + 4 >= stat.size())
    return false;
  out.name = stat.substr(open + 1, close - open - 1);
  out.state = stat[close + 2];
  out.parent = std::atol(stat.c_str() + close + 4);
  return true;
}

}  // namespace

fs::path ProcessEntry::link(const char* which) const {
  std::error_code ignored;
  return fs::read_symlink(dir() / which, ignored);
}

std::vector<ProcessEntry> processes() {
  std::vector<ProcessEntry> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    ProcessEntry process;
    process.pid = std::atol(entry.path().filename().c_str());
    if (process.pid > 0 && parseStat(readWholeFile(entry.path() / "stat"), process)) found.push_back(process);
  }
  return found;
}

std::vector<ProcessEntry> descendantsOf(long root, const std::string& pruned) {
  std::multimap<long, ProcessEntry> children;
  for (ProcessEntry& process : processes())
    if (process.state != 'Z' && (pruned.empty() || process.name != pruned))
      children.emplace(process.parent, std::move(process));
  std::vector<ProcessEntry> found;
  std::vector<long> open{root};
  while (!open.empty()) {
    const long parent = open.back();
    open.pop_back();
    for (auto [it, end] = children.equal_range(parent); it != end; ++it) {
      found.push_back(it->second);
      open.push_back(it->second.pid);
    }
  }
  return found;
}

double cpuSeconds(long pid) {
  const std::string stat = readWholeFile("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  // Fields after the name, from the third (the state) on; utime and stime are the 14th and 15th.
  std::istringstream fields(stat.substr(close + 1));
  std::string field;
  double ticks = 0;
  for (int n = 3; n <= 15 && fields >> field; ++n)
    if (n >= 14) ticks += std::atof(field.c_str());
  return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::map<int, std::string> descriptorTargets() {
  std::map<int, std::string> targets;
  std::error_code ec;
  for (const auto& fd : fs::directory_iterator("/proc/self/fd", ec)) {
    std::error_code gone;
    const fs::path target = fs::read_symlink(fd.path(), gone);
    targets[std::atoi(fd.path().filename().c_str())] = gone ? "?" : target.string();
  }
  return targets;
}

std::map<int, std::string> threadNames() {
  std::map<int, std::string> names;
  std::error_code ec;
  for (const auto& task : fs::directory_iterator("/proc/self/task", ec)) {
    std::string name = readWholeFile(task.path() / "comm");
    if (!name.empty() && name.back() == '\n') name.pop_back();
    names[std::atoi(task.path().filename().c_str())] = name;
  }
  return names;
}

std::size_t threadCount() {
  return threadNames().size();
}

}  // namespace vtest
