#include "tests/common/WebProcess.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "tests/common/Files.h"
#include "tests/common/Processes.h"

namespace vtest {

long webProcessBelow(long ancestor) {
  for (const ProcessEntry& p : descendantsOf(ancestor))
    if (p.name.rfind("WebKitWebProces", 0) == 0) return p.pid;
  return -1;
}

std::string threadReport(long pid) {
  if (pid <= 0) return "no web process\n";
  const std::string proc = "/proc/" + std::to_string(pid);
  std::string out = "web process " + std::to_string(pid) + ":\n";
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator(proc + "/task", ec)) {
    std::string stat = readWholeFile(task.path() / "stat");
    const std::size_t close = stat.rfind(')');  // the name may hold spaces
    const char state = close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : '?';
    out += "  " + stat.substr(0, close == std::string::npos ? 0 : close + 1) + " " + state + " " +
           readWholeFile(task.path() / "wchan") + "\n";
  }
  for (const ProcessEntry& child : descendantsOf(pid))  // a spawn that never came back
    out += "  child " + std::to_string(child.pid) + " (" + child.name + ") " + child.state + "\n";
  if (::access("/usr/bin/gdb", X_OK) != 0) return out;
  const std::string command =
      "/usr/bin/gdb -p " + std::to_string(pid) + " -batch -ex 'thread apply all bt 30' 2>/dev/null";
  if (FILE* gdb = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, gdb)) out.append(buffer, n);
    ::pclose(gdb);
  }
  return out;
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
