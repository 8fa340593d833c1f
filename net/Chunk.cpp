#include "net/Chunk.h"

namespace mnet {

namespace {

void putInt64(std::string& out, std::int64_t value) {
  const std::uint64_t bits = static_cast<std::uint64_t>(value);
  for (int i = 0; i < 8; ++i) out += static_cast<char>((bits >> (8 * i)) & 0xff);
}

std::int64_t getInt64(const char* in) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | static_cast<unsigned char>(in[i]);
  return static_cast<std::int64_t>(bits);
}

}  // namespace

Chunk& insertChunk(ChunkList& chunks, std::int64_t start, std::int64_t end) {
  auto it = chunks.begin();
  while (it != chunks.end() && it->start <= start) ++it;
  Chunk chunk;
  chunk.start = start;
  chunk.end = end;
  return *chunks.insert(it, chunk);
}

std::string resumeRecords(const ChunkList& chunks, std::int64_t length) {
  std::string out;
  out.reserve((chunks.size() + 1) * 16);
  for (const Chunk& chunk : chunks) {
    putInt64(out, chunk.start);
    putInt64(out, chunk.end);
  }
  if (!chunks.empty() && chunks.back().end != length) {
    putInt64(out, length);
    putInt64(out, length);
  }
  return out;
}

bool parseResumeRecords(const std::string& bytes, std::vector<Chunk>& out) {
  out.clear();
  std::int64_t previousEnd = 0;
  for (size_t at = 0; at + 16 <= bytes.size(); at += 16) {
    Chunk chunk;
    chunk.start = getInt64(bytes.data() + at);
    chunk.end = getInt64(bytes.data() + at + 8);
    if (chunk.start < previousEnd || chunk.end < chunk.start) {
      out.clear();
      return false;
    }
    previousEnd = chunk.end;
    out.push_back(chunk);
  }
  return true;
}

std::vector<std::int64_t> splitSizes(std::int64_t remaining, std::int64_t k) {
  const std::int64_t piece = remaining / k;
  const std::int64_t spare = remaining - piece * k;
  std::vector<std::int64_t> sizes;
  for (std::int64_t i = 0; i < k; ++i) sizes.push_back(piece + (i < spare ? 1 : 0));
  return sizes;
}

}  // namespace mnet
