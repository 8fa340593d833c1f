#include "shell/Replacement.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/process/Process.h"

namespace shell {
namespace {

// Failures that go away once the old process has ended.
bool busy(int err) {
  return err == ETXTBSY || err == EBUSY || err == EACCES || err == EPERM;
}

}  // namespace

bool runReplacement(const std::string& source, const std::string& target, const std::string& argumentText,
                    const ReplacementTiming& timing) {
  const auto start = std::chrono::steady_clock::now();
  int otherFailures = 0;
  int err = 0;
  for (;;) {
    if (!target.empty() && platform::copyFile(source, target)) break;
    err = target.empty() ? ENOENT : errno;
    if (!busy(err)) ++otherFailures;
    if (otherFailures >= timing.otherFailureAttempts ||
        std::chrono::steady_clock::now() - start >= timing.giveUpAfter) {
      std::fprintf(stderr, "Vornask: cannot copy %s to \"%s\": %s\n", source.c_str(), target.c_str(),
                   std::strerror(err));
      return false;
    }
    std::this_thread::sleep_for(timing.retryWait);
  }
  platform::spawnProcess(target, argumentText);
  return true;
}

}  // namespace shell
