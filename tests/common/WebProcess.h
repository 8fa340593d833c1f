#pragma once

#include <string>

namespace vtest {

// The first WebKit web process below `ancestor` (however deep: the sandbox
// puts bubblewrap between), or -1.
long webProcessBelow(long ancestor);

// What each thread of a process is doing, for the failure message of a process
// that stopped answering: name, state and kernel wait of every thread, the
// processes below it, then the threads' stacks when gdb is installed.
std::string threadReport(long pid);

// "mnt:[NUMBER]" of a process (the link /proc/PID/ns/mnt), or "" when unreadable.
std::string mountNamespace(long pid);

// Everything written to standard output (descriptor 1) while it lives, kept
// in a file of its own; the text is given back to the real output at the end.
class StdoutCapture {
 public:
  StdoutCapture();
  ~StdoutCapture();
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;

  std::string text() const;

 private:
  int saved_ = -1;
  int file_ = -1;
};

}  // namespace vtest
