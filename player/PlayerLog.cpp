#include "player/PlayerLog.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace player {

void logRecord(int level, const std::string& text) {
  static const char* const tags[] = {"EMG", "ALR", "CRT", "ERR", "WRN", "NOT", "INF", "DBG"};
  timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::tm local;
  ::localtime_r(&now.tv_sec, &local);
  char header[64];
  std::snprintf(header, sizeof header, "%s [%ld] %02d %02d:%02d:%02d.%03ld <flash> ", tags[level & 7],
                static_cast<long>(::syscall(SYS_gettid)), local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, now.tv_nsec / 1000000);
  const std::string line = header + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

}  // namespace player
