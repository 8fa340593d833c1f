#include "tests/shell/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace vtest {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& env, const std::string& cwd) {
  int in[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in[0], 0);
  posix_spawn_file_actions_adddup2(&fa, err[1], 2);
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
  if (rc != 0) throw std::runtime_error("spawn " + program);
  pid_ = pid;
}

ChildProcess::~ChildProcess() {
  if (!reaped_ && pid_ > 0) {
    ::kill(static_cast<pid_t>(pid_), SIGKILL);
    ::waitpid(static_cast<pid_t>(pid_), nullptr, 0);
  }
  closeInput();
  if (errFd_ >= 0) ::close(errFd_);
}

void ChildProcess::send(const std::string& text) {
  if (in_ >= 0 && ::write(in_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    throw std::runtime_error("write to child");
}

void ChildProcess::closeInput() {
  if (in_ >= 0) ::close(in_);
  in_ = -1;
}

bool ChildProcess::readSome(int ms) {
  if (ended_) return false;
  pollfd p{errFd_, POLLIN, 0};
  if (::poll(&p, 1, ms) <= 0) return false;
  char buf[4096];
  const ssize_t n = ::read(errFd_, buf, sizeof buf);
  if (n <= 0) {
    ended_ = true;
    return false;
  }
  err_.append(buf, static_cast<std::size_t>(n));
  return true;
}

bool ChildProcess::waitForLine(const std::string& line, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    std::size_t start = matched_;
    for (std::size_t eol; (eol = err_.find('\n', start)) != std::string::npos; start = eol + 1) {
      if (err_.compare(start, eol - start, line) == 0) {
        matched_ = eol + 1;
        return true;
      }
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || ended_) return false;
    readSome(static_cast<int>(left.count()));
  }
}

bool ChildProcess::waitForEnd(int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!ended_) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    readSome(static_cast<int>(left.count()));
  }
  return true;
}

int ChildProcess::wait(int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(static_cast<pid_t>(pid_), &status, WNOHANG);
    if (r == pid_) {
      reaped_ = true;
      while (readSome(0)) {
      }
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    if (!readSome(10) && ended_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string readFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace vtest
