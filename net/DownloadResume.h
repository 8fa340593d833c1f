#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "net/Chunk.h"

namespace mnet {

// What a download's ".meta" companion says is still missing.
struct ResumeState {
  ChunkList pending;
  std::int64_t downloaded = 0;
  std::int64_t length = 0;
};

// Reads `path` + ".meta". Nothing when there is none, when it is malformed, when its length
// is not `expected` (unless that is 0 or less), or when the target is shorter than the
// bytes it counts as written.
std::optional<ResumeState> readResumeFile(const std::string& path, std::int64_t expected);

// Rewrites the open companion with the pending chunks.
void writeResumeFile(int fd, const ChunkList& chunks, std::int64_t length);

}  // namespace mnet
