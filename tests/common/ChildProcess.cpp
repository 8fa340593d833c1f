#include "tests/common/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <gtest/gtest.h>

#include "tests/common/Processes.h"
#include "tests/common/Sandbox.h"
#include "tests/common/WaitFor.h"

extern char** environ;

namespace vtest {

namespace fs = std::filesystem;

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& env, const std::string& cwd) {
  int in[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(in[0]);
    ::close(in[1]);
    throw std::runtime_error("pipe");
  }
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in[0], 0);
  posix_spawn_file_actions_adddup2(&fa, err[1], 2);
  // Log records join the error lines with VORNASK_TEST_VERBOSE set (here or for the child).
  if (std::getenv("VORNASK_TEST_VERBOSE") || env.count("VORNASK_TEST_VERBOSE"))
    posix_spawn_file_actions_adddup2(&fa, err[1], 1);
  else
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());

  std::map<std::string, std::string> all;
  for (char** e = environ; *e; ++e) {
    const std::string kv = *e;
    const auto eq = kv.find('=');
    if (eq != std::string::npos) all[kv.substr(0, eq)] = kv.substr(eq + 1);
  }
  for (const auto& [k, v] : env) all[k] = v;
  std::vector<std::string> envStrings;
  for (const auto& [k, v] : all) envStrings.push_back(k + "=" + v);
  std::vector<char*> envp, argv;
  for (auto& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStrings{program};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  for (auto& s : argStrings) argv.push_back(s.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, program.c_str(), &fa, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  ::close(in[0]);
  ::close(err[1]);
  in_ = in[1];
  errFd_ = err[0];
  if (rc != 0) {
    ::close(in_);
    ::close(errFd_);
    throw std::runtime_error("spawn " + program);
  }
  pid_ = pid;
  if (!cwd.empty()) {
    std::error_code ec;
    cwd_ = fs::canonical(cwd, ec);
  }
  reader_ = std::thread([this] { readLoop(); });
}

ChildProcess::~ChildProcess() {
  closeInput();
  if (!reaped_ && graceMs_ > 0) wait(graceMs_);
  if (!reaped_) {
    ::kill(static_cast<pid_t>(pid_), SIGKILL);
    while (::waitpid(static_cast<pid_t>(pid_), nullptr, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
  }
  // A process the child started may still hold the error pipe.
  if (!waitForEnd(graceMs_ > 0 ? graceMs_ : 200) && !cwd_.empty()) {
    for (const ProcessEntry& process : processes())
      if (process.pid != ::getpid() && process.link("cwd") == cwd_)
        ::kill(static_cast<pid_t>(process.pid), SIGKILL);
    waitForEnd(5000);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  reader_.join();
  ::close(errFd_);

  if (::testing::Test::HasFailure()) {
    std::string seen;
    for (const auto& l : lines_)
      if (l.rfind("progress: ", 0) != 0 && l.find("write(") == std::string::npos) seen += "  " + l + "\n";
    std::fprintf(stderr, "lines of %s:\n%s", cwd_.c_str(), seen.c_str());
  }
  if (graceMs_ > 0)
    for (const auto& l : lines_)
      if (l.find("Sanitizer") != std::string::npos || l.find("runtime error:") != std::string::npos)
        ADD_FAILURE() << "the child reported: " << l;
}

void ChildProcess::readLoop() {
  std::string pending;
  char buffer[4096];
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop_) return;
      polling_ = true;
    }
    changed_.notify_all();
    pollfd p{errFd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, 50);
    std::unique_lock<std::mutex> lock(mutex_);
    polling_ = false;
    if (ready <= 0) continue;
    lock.unlock();
    const ssize_t n = ::read(errFd_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    lock.lock();
    if (n <= 0) {
      if (!pending.empty()) lines_.push_back(pending);
      ended_ = true;
      changed_.notify_all();
      // Nothing more to read; wait for the owner to stop the thread.
      changed_.wait(lock, [this] { return stop_; });
      return;
    }
    err_.append(buffer, static_cast<size_t>(n));
    pending.append(buffer, static_cast<size_t>(n));
    for (size_t lf; (lf = pending.find('\n')) != std::string::npos; pending.erase(0, lf + 1))
      lines_.push_back(pending.substr(0, lf));
    changed_.notify_all();
  }
}

void ChildProcess::send(const std::string& text) {
  if (in_ >= 0 && ::write(in_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    throw std::runtime_error("write to child");
}

void ChildProcess::closeInput() {
  if (in_ >= 0) ::close(in_);
  in_ = -1;
}

bool ChildProcess::waitLine(const std::function<bool(const std::string&)>& pred, int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (size_t seen = cursor_;;) {
    for (; seen < lines_.size(); ++seen)
      if (pred(lines_[seen])) {
        cursor_ = seen + 1;
        return true;
      }
    if (ended_ || changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      for (; seen < lines_.size(); ++seen)
        if (pred(lines_[seen])) {
          cursor_ = seen + 1;
          return true;
        }
      return false;
    }
  }
}

bool ChildProcess::waitForEnd(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return ended_; });
}

void ChildProcess::drain(int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    int unread = 0;
    if (ended_ || (polling_ && ::ioctl(errFd_, FIONREAD, &unread) == 0 && unread == 0)) return;
    if (changed_.wait_until(
            lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(5))) ==
            std::cv_status::timeout &&
        std::chrono::steady_clock::now() >= deadline)
      return;
  }
}

int ChildProcess::wait(int ms) {
  const bool ended = waitFor(
      [this] {
        int status = 0;
        if (reaped_ || ::waitpid(static_cast<pid_t>(pid_), &status, WNOHANG) != static_cast<pid_t>(pid_))
          return reaped_;
        reaped_ = true;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        drain(2000);
        return true;
      },
      ms);
  return ended ? exitCode_ : -1;
}

std::string ChildProcess::errorOutput() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return err_;
}

std::vector<std::string> ChildProcess::lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

std::string ChildProcess::last(const std::string& prefix) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string head = prefix + ": ";
  for (auto it = lines_.rbegin(); it != lines_.rend(); ++it)
    if (it->compare(0, head.size(), head) == 0) return it->substr(head.size());
  return "";
}

fs::path clientExecutable() {
  if (fs::is_regular_file(buildDir() / "Vornask")) return buildDir() / "Vornask";
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(buildDir(), ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->path().filename() == "Vornask" && it->is_regular_file() &&
        it->path().string().find("CMakeFiles") == std::string::npos)
      return it->path();
  }
  return {};
}

}  // namespace vtest
