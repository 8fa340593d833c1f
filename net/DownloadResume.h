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

// A download of `path` that fetches only `pending` of `length` bytes: its companion is
// written (through a temporary file and a rename); false when it cannot be.
bool seedResume(const std::string& path, const ChunkList& pending, std::int64_t length);

// Whether a download of `path` has left a companion to continue from.
bool resumable(const std::string& path);

// Removes `path` and its companion; the next download starts from nothing.
void discardResume(const std::string& path);
// Removes only the companion: `path` is complete as it is.
void forgetResume(const std::string& path);

// Rewrites the open companion with the pending chunks.
void writeResumeFile(int fd, const ChunkList& chunks, std::int64_t length);

}  // namespace mnet
