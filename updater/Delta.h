#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "updater/BlockIndex.h"

namespace updater {

// How the new file is made from an old local copy: blocks found in the old copy, at any
// alignment, and the byte ranges of the new file that must be downloaded.
struct DeltaPlan {
  struct Copy {
    uint64_t from = 0;  // offset in the old copy
    uint64_t to = 0;    // offset in the new file
    uint32_t length = 0;
  };
  struct Range {
    uint64_t begin = 0, end = 0;  // [begin, end) of the new file
    bool operator==(const Range& other) const { return begin == other.begin && end == other.end; }
  };
  std::vector<Copy> copies;    // by new offset
  std::vector<Range> missing;  // ascending, adjacent ones merged
  uint64_t reusedBytes = 0;
};

// Scans `old` with the rolling sum and matches each window against the index's blocks.
DeltaPlan matchBlocks(const BlockIndex& index, const unsigned char* old, uint64_t oldSize);

// Writes the plan's copies from the old copy at `oldPath` into `target` (created or
// opened and sized to the new file; other bytes are left as they are). "" or what failed.
std::string copyBlocks(const DeltaPlan& plan, const std::string& oldPath, const std::string& target,
                       uint64_t newSize);

}  // namespace updater
