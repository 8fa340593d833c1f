#include "shell/Replacement.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/files/FolderLock.h"
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
  // The old client may still be ending: the new one would see its lock and end at once.
  const std::size_t slash = target.rfind('/');
  const std::string lock =
      (slash == std::string::npos ? std::string(".") : target.substr(0, slash)) + "/" + folderLockName;
  const auto lockWait = std::chrono::steady_clock::now();
  while (platform::FolderLock().take(lock) == EWOULDBLOCK &&
         std::chrono::steady_clock::now() - lockWait < timing.giveUpAfter)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  platform::spawnProcess(target, argumentText);
  return true;
}

}  // namespace shell
