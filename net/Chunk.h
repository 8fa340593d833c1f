#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

namespace mnet {

class Worker;

// A pending byte range [start, end) of the target; done when start reaches end.
struct Chunk {
  std::int64_t start = 0;
  std::int64_t end = 0;
  Worker* worker = nullptr;

  std::int64_t remaining() const noexcept { return end - start; }
  bool done() const noexcept { return start == end; }
};

// Pending chunks ordered by start; node addresses stay valid.
typedef std::list<Chunk> ChunkList;

// Inserts after the chunks with the same start.
Chunk& insertChunk(ChunkList& chunks, std::int64_t start, std::int64_t end);

// Resume file records (16 bytes each, little-endian start and end), closed by {length,
// length} when the last chunk ends before the length.
std::string resumeRecords(const ChunkList& chunks, std::int64_t length);
// Parses records, ignoring a trailing partial record. False when they are not well formed:
// negative, start after end, unordered or overlapping.
bool parseResumeRecords(const std::string& bytes, std::vector<Chunk>& out);

// Sizes of k pieces of `remaining` bytes; the first remaining % k pieces are one byte longer.
std::vector<std::int64_t> splitSizes(std::int64_t remaining, std::int64_t k);

}  // namespace mnet
