// Download resume records from arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/Chunk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<mnet::Chunk> records;
  if (!mnet::parseResumeRecords(bytes, records)) {
    if (!records.empty()) __builtin_trap();
    return 0;
  }
  if (records.size() != size / 16) __builtin_trap();
  // Accepted records are ordered, non-negative ranges; the written bytes they imply never
  // exceed the length.
  std::int64_t previousEnd = 0, written = 0;
  mnet::ChunkList chunks;
  for (const mnet::Chunk& record : records) {
    if (record.start < previousEnd || record.end < record.start) __builtin_trap();
    if (__builtin_add_overflow(written, record.start - previousEnd, &written)) __builtin_trap();
    previousEnd = record.end;
    if (!record.done()) mnet::insertChunk(chunks, record.start, record.end);
  }
  if (written > previousEnd) __builtin_trap();
  // Saving what was read and reading it again gives the same pending ranges.
  const std::string saved = mnet::resumeRecords(chunks, previousEnd);
  std::vector<mnet::Chunk> again;
  if (!mnet::parseResumeRecords(saved, again)) __builtin_trap();
  std::vector<mnet::Chunk> pending;
  for (const mnet::Chunk& record : again)
    if (!record.done()) pending.push_back(record);
  if (pending.size() != chunks.size()) __builtin_trap();
  auto it = chunks.begin();
  for (const mnet::Chunk& record : pending) {
    if (record.start != it->start || record.end != it->end) __builtin_trap();
    ++it;
  }
  if (!again.empty() && again.back().end != previousEnd) __builtin_trap();
  return 0;
}
