#include "tests/updater/ClientRun.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>
#include <stdexcept>

#include "tests/common/Sandbox.h"

extern char** environ;

namespace vtest {

ClientRun::ClientRun(const std::filesystem::path& executable, const std::filesystem::path& folder,
                     const std::vector<std::string>& args, const std::map<std::string, std::string>& env)
    : folder_(std::filesystem::canonical(folder)) {
  int in[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> argv{executable.string()};
  argv.insert(argv.end(), args.begin(), args.end());
  std::map<std::string, std::string> environment;
  for (char** e = environ; *e; ++e) {
    const std::string item = *e;
    const size_t eq = item.find('=');
    if (eq != std::string::npos) environment[item.substr(0, eq)] = item.substr(eq + 1);
  }
  environment["VORNASK_UI"] = "headless";
  for (const auto& [k, v] : env) environment[k] = v;
  std::vector<std::string> envItems;
  for (const auto& [k, v] : environment) envItems.push_back(k + "=" + v);
  std::vector<char*> argvp, envp;
  for (auto& a : argv) argvp.push_back(a.data());
  argvp.push_back(nullptr);
  for (auto& e : envItems) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::dup2(in[0], 0);
    ::dup2(err[1], 2);
    // Log records join the console lines with VORNASK_TEST_VERBOSE set.
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(std::getenv("VORNASK_TEST_VERBOSE") ? 2 : null, 1);
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    ::execve(argvp[0], argvp.data(), envp.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(err[1]);
  input_ = in[1];
  reader_ = std::thread([this, fd = err[0]] { readLoop(fd); });
}

ClientRun::~ClientRun() {
  if (::testing::Test::HasFailure()) {
    std::string seen;
    for (const auto& l : lines())
      if (l.rfind("progress: ", 0) != 0 && l.find("write(") == std::string::npos) seen += "  " + l + "\n";
    std::fprintf(stderr, "client lines:\n%s", seen.c_str());
  }
  if (input_ >= 0) ::close(input_);
  if (!reaped_) {
    if (!waitEnd(5000)) ::kill(pid_, SIGKILL);
    wait();
  }
  // A client it started may still hold the pipe: end every process working in the folder.
  if (!waitEnd(5000)) {
    std::error_code ec;
    for (const auto& proc : std::filesystem::directory_iterator("/proc", ec)) {
      std::error_code ignored;
      const pid_t pid = static_cast<pid_t>(std::atoi(proc.path().filename().c_str()));
      if (pid > 0 && std::filesystem::read_symlink(proc.path() / "cwd", ignored) == folder_)
        ::kill(pid, SIGKILL);
    }
  }
  reader_.join();
  for (const auto& l : lines())
    if (l.find("Sanitizer") != std::string::npos || l.find("runtime error:") != std::string::npos)
      ADD_FAILURE() << "the client reported: " << l;
}

void ClientRun::readLoop(int fd) {
  std::string pending;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    pending.append(buffer, static_cast<size_t>(n));
    size_t lf;
    while ((lf = pending.find('\n')) != std::string::npos) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(pending.substr(0, lf));
      pending.erase(0, lf + 1);
      changed_.notify_all();
    }
  }
  ::close(fd);
  std::lock_guard<std::mutex> lock(mutex_);
  if (!pending.empty()) lines_.push_back(pending);
  eof_ = true;
  changed_.notify_all();
}

void ClientRun::send(const std::string& command) {
  const std::string line = command + "\n";
  if (::write(input_, line.data(), line.size()) < 0) {
    // The client is gone; the test's next wait reports it.
  }
}

bool ClientRun::waitLine(const std::function<bool(const std::string&)>& pred, int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (size_t seen = cursor_;;) {
    for (; seen < lines_.size(); ++seen)
      if (pred(lines_[seen])) {
        cursor_ = seen + 1;
        return true;
      }
    if (eof_ || changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      for (; seen < lines_.size(); ++seen)
        if (pred(lines_[seen])) {
          cursor_ = seen + 1;
          return true;
        }
      return false;
    }
  }
}

std::string ClientRun::last(const std::string& prefix) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string head = prefix + ": ";
  for (auto it = lines_.rbegin(); it != lines_.rend(); ++it)
    if (it->compare(0, head.size(), head) == 0) return it->substr(head.size());
  return "";
}

std::vector<std::string> ClientRun::lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

bool ClientRun::waitEnd(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return eof_; });
}

int ClientRun::wait() {
  if (!reaped_) {
    while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
  }
  return status_;
}

bool ClientRun::waitExit(int ms, int& status) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!reaped_) {
    const pid_t done = ::waitpid(pid_, &status_, WNOHANG);
    if (done == pid_) {
      reaped_ = true;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  status = WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  return true;
}

std::filesystem::path clientExecutable() {
  if (std::filesystem::is_regular_file(buildDir() / "Vornask")) return buildDir() / "Vornask";
  for (const auto& item : std::filesystem::recursive_directory_iterator(buildDir())) {
    if (item.path().filename() == "Vornask" && item.is_regular_file() &&
        item.path().string().find("CMakeFiles") == std::string::npos)
      return item.path();
  }
  return {};
}

}  // namespace vtest
