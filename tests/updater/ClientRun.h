#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vtest {

// The built client started in the headless back end: console commands go to
// its standard input, the console's lines are read from its standard error.
// Processes it starts itself inherit both, so a relaunched client is seen too.
class ClientRun {
 public:
  ClientRun(const std::filesystem::path& executable, const std::filesystem::path& folder,
            const std::vector<std::string>& args, const std::map<std::string, std::string>& env);
  ~ClientRun();
  ClientRun(const ClientRun&) = delete;
  ClientRun& operator=(const ClientRun&) = delete;

  void send(const std::string& command);
  // Waits for a line satisfying `pred` after the line the last successful
  // wait matched, and moves past it: waits expect lines in order.
  bool waitLine(const std::function<bool(const std::string&)>& pred, int ms);
  bool waitFor(const std::string& line, int ms) {
    return waitLine([&](const std::string& l) { return l == line; }, ms);
  }
  // The text after "prefix: " of the last such line, or "" .
  std::string last(const std::string& prefix) const;
  std::vector<std::string> lines() const;
  // Waits until every holder of the error pipe ended (EOF).
  bool waitEnd(int ms);
  // Exit status of the started process (waits for it).
  int wait();
  // False when the started process is still running after `ms`.
  bool waitExit(int ms, int& status);

 private:
  void readLoop(int fd);

  std::filesystem::path folder_;
  pid_t pid_ = -1;
  int input_ = -1;
  int status_ = -1;
  bool reaped_ = false;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
  bool eof_ = false;
  size_t cursor_ = 0;
  std::thread reader_;
};

// The built client executable (VORNASK_BUILD_DIR or the current folder); empty when missing.
std::filesystem::path clientExecutable();

}  // namespace vtest
