#pragma once

#include <string>
#include <vector>

namespace platform {

// Full path of the running executable; empty when it cannot be read.
std::string modulePath();

// Starts `path` with the items of `commandLine` (split by splitCommandLine;
// none when empty) as its arguments, in the caller's environment and working
// directory (or `workingFolder` when given). The child's identifier, or -1
// with errno set.
long spawnProcess(const std::string& path, const std::string& commandLine,
                  const std::string& workingFolder = std::string());

// Copies `source` over `target`: the new content goes to a temporary file
// beside the target, is synced and renamed into place, so the target is
// never half written. Fails with ETXTBSY while the target is being run, and
// with EEXIST when `failIfExists` and the target exists. errno on failure.
bool copyFile(const std::string& source, const std::string& target, bool failIfExists = false);

struct ProcessEntry {
  long pid = 0;
  std::string image;  // executable path
};
std::vector<ProcessEntry> listProcesses();
// Executable of a process, "" when unknown; a replaced file keeps its path.
std::string processImagePath(long pid);
// Ends every other process of this user running the executable at `path`
// (compared exactly: Linux paths are case-sensitive): SIGTERM, then SIGKILL to
// those still there after 2 s, each through a pidfd so that a reused PID is
// never hit. Waits up to a second more until every thread of them is gone and
// the executable is free; the number ended.
int terminateProcessesRunning(const std::string& path);

}  // namespace platform
