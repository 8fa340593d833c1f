#pragma once

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vtest {

// A program run with a pipe on its standard input and one on its standard
// error; a reader thread collects the error lines, so a chatty child never
// blocks on a full pipe. Standard output is dropped (it joins standard error
// when VORNASK_TEST_VERBOSE is set, in the test's environment or in `env`). Processes the child starts
// inherit both pipes, so their lines are seen too.
class ChildProcess {
 public:
  // The environment is the test's own with `env` laid over it.
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& env, const std::string& cwd);
  // Closes the input; a child still running then (after the grace time of
  // endGently) is killed, and so is every process still working in `cwd`
  // that keeps the error pipe open. On a failed test the lines are printed.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // At destruction, let the child end by itself for up to `graceMs`, and
  // fail the running test when it printed a sanitizer report.
  void endGently(int graceMs) { graceMs_ = graceMs; }

  long pid() const { return pid_; }
  void send(const std::string& text);
  void closeInput();

  // Waits for a line satisfying `pred` after the line the last successful
  // wait matched, and moves past it: waits expect lines in order.
  bool waitLine(const std::function<bool(const std::string&)>& pred, int ms);
  bool waitForLine(const std::string& line, int ms) {
    return waitLine([&line](const std::string& l) { return l == line; }, ms);
  }
  // Waits until every holder of the error pipe closed it.
  bool waitForEnd(int ms);
  // The exit code (128 + signal when killed); -1 when still running after `ms`.
  int wait(int ms);

  std::string errorOutput() const;
  std::vector<std::string> lines() const;
  // The text after "prefix: " of the last such line, or "".
  std::string last(const std::string& prefix) const;

 private:
  void readLoop();
  // After the child ended: waits until the reader took what it left in the pipe.
  void drain(int ms);

  long pid_ = -1;
  int in_ = -1, errFd_ = -1;
  int exitCode_ = -1;
  bool reaped_ = false;
  int graceMs_ = 0;
  std::filesystem::path cwd_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string err_;
  std::vector<std::string> lines_;
  size_t cursor_ = 0;
  bool ended_ = false, polling_ = false, stop_ = false;
  std::thread reader_;
};

// The built client executable (VORNASK_BUILD_DIR or the build tree); empty when missing.
std::filesystem::path clientExecutable();

}  // namespace vtest
