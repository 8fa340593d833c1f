#pragma once

#include <cstdint>
#include <vector>

namespace mstd {

struct PooledBuffer;

// Blocks released by one thread and not yet given back to their pool.
struct pending_release {
  pending_release() { blocks.reserve(256); }

  std::uint32_t total = 0;  // sum of the block sizes listed
  std::vector<PooledBuffer*> blocks;
};

}  // namespace mstd
