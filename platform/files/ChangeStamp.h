#pragma once

#include <cstdint>
#include <string>

namespace platform {

// What changes when a file's bytes may have changed: its size, both times and its inode.
struct ChangeStamp {
  uint64_t size = 0;
  int64_t modifiedNs = 0;  // st_mtim in nanoseconds
  int64_t changedNs = 0;   // st_ctim in nanoseconds; touch cannot set it back
  uint64_t inode = 0;

  bool operator==(const ChangeStamp& other) const {
    return size == other.size && modifiedNs == other.modifiedNs && changedNs == other.changedNs &&
           inode == other.inode;
  }
  bool operator!=(const ChangeStamp& other) const { return !(*this == other); }
};

// Stamp of the regular file at `path` (links followed); false when there is none.
bool changeStamp(const std::string& path, ChangeStamp& out);

// The wall clock in nanoseconds, the clock the file times are taken from.
int64_t wallClockNs();

}  // namespace platform
