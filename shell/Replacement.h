#pragma once

#include <chrono>
#include <string>

namespace shell {

// The file in a client's working folder whose lock the running client holds.
constexpr const char* folderLockName = ".vornask.lock";
// The socket in that folder through which a later start asks the running client for its window.
constexpr const char* startSignalName = ".vornask.sock";

struct ReplacementTiming {
  std::chrono::milliseconds retryWait{1000};
  // Copying gives up after this long while the target is busy, and after a
  // few attempts when the failure cannot be a busy file.
  std::chrono::milliseconds giveUpAfter{120000};
  int otherFailureAttempts = 5;
};

// Copies `source` over `target` until that works, waiting between attempts,
// waits (as long again at most) for the client in the target's folder to
// release its lock, then starts `target` with `argumentText`. False when it gave up (a line on
// standard error says why; the target is not started).
bool runReplacement(const std::string& source, const std::string& target, const std::string& argumentText,
                    const ReplacementTiming& timing = {});

}  // namespace shell
