#include "tests/common/WebProcess.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "tests/common/Processes.h"

namespace vtest {

long webProcessBelow(long ancestor) {
  for (const ProcessEntry& p : descendantsOf(ancestor))
    if (p.name.rfind("WebKitWebProces", 0) == 0) return p.pid;
  return -1;
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
