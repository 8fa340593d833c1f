#pragma once

#include <map>
#include <string>
#include <vector>

namespace vtest {

// A program run with a pipe on its standard input and one on its standard
// error (standard output is dropped).
class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& env, const std::string& cwd);
  ~ChildProcess();

  long pid() const { return pid_; }
  void send(const std::string& text);
  void closeInput();
  // Reads standard error until a line equal to `line` arrived after the
  // lines already matched, or `ms` passed.
  bool waitForLine(const std::string& line, int ms);
  // Reads standard error until every writer closed it.
  bool waitForEnd(int ms);
  // The exit code; -1 when still running after `ms` (it is then killed).
  int wait(int ms);
  const std::string& errorOutput() const { return err_; }

 private:
  bool readSome(int ms);

  long pid_ = -1;
  int in_ = -1, errFd_ = -1;
  std::string err_;
  std::size_t matched_ = 0;
  bool reaped_ = false, ended_ = false;
};

std::string readFileBytes(const std::string& path);

}  // namespace vtest
