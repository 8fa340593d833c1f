#include "tests/common/Processes.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace vtest {
namespace {

struct Stat {
  std::string name;
  long parent = 0;
};

std::map<long, Stat> allProcesses() {
  std::map<long, Stat> all;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator("/proc", ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    const long pid = std::atol(entry.c_str());
    if (pid <= 0) continue;
    std::ifstream in(it->path() / "stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 4 > stat.size()) continue;
    all[pid] = Stat{stat.substr(open + 1, close - open - 1), std::atol(stat.c_str() + close + 4)};
  }
  return all;
}

}  // namespace

std::vector<long> descendantsNamed(long ancestor, const std::string& name) {
  const std::map<long, Stat> all = allProcesses();
  std::vector<long> found;
  for (const auto& [pid, stat] : all) {
    if (stat.name.rfind(name, 0) != 0) continue;
    // Up the parents; a cycle cannot last longer than the table.
    long up = stat.parent;
    for (std::size_t steps = 0; up > 1 && up != ancestor && steps < all.size(); ++steps) {
      const auto parent = all.find(up);
      up = parent == all.end() ? 0 : parent->second.parent;
    }
    if (up == ancestor) found.push_back(pid);
  }
  return found;
}

long webProcessBelow(long ancestor) {
  const std::vector<long> found = descendantsNamed(ancestor, "WebKitWebProces");
  return found.empty() ? -1 : found.front();
}

std::string mountNamespace(long pid) {
  std::error_code ec;
  const auto target = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/ns/mnt", ec);
  return ec ? std::string() : target.string();
}

StdoutCapture::StdoutCapture() {
  std::fflush(stdout);
  char name[] = "/tmp/vornask-stdout-XXXXXX";
  file_ = ::mkstemp(name);
  if (file_ < 0) return;
  ::unlink(name);
  saved_ = ::dup(STDOUT_FILENO);
  ::dup2(file_, STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture() {
  std::fflush(stdout);
  const std::string captured = text();
  if (saved_ >= 0) {
    ::dup2(saved_, STDOUT_FILENO);
    ::close(saved_);
  }
  if (file_ >= 0) ::close(file_);
  std::fwrite(captured.data(), 1, captured.size(), stdout);
  std::fflush(stdout);
}

std::string StdoutCapture::text() const {
  std::fflush(stdout);
  if (file_ < 0) return {};
  std::string out;
  char buffer[4096];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(file_, buffer, sizeof buffer, at);
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
    at += n;
  }
  return out;
}

}  // namespace vtest
