#include "platform/files/ChangeStamp.h"

#include <sys/stat.h>
#include <time.h>

namespace platform {
namespace {

int64_t nanoseconds(const struct timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

}  // namespace

bool changeStamp(const std::string& path, ChangeStamp& out) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  out.size = static_cast<uint64_t>(st.st_size);
  out.modifiedNs = nanoseconds(st.st_mtim);
  out.changedNs = nanoseconds(st.st_ctim);
  out.inode = static_cast<uint64_t>(st.st_ino);
  return true;
}

int64_t wallClockNs() {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  return nanoseconds(now);
}

}  // namespace platform
