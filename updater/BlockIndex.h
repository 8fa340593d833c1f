#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace updater {

// Files of at least this size get a block index when published.
constexpr uint64_t blockIndexMinimum = 1 << 20;

// Weak and strong sums of each fixed-size block of a file, with the whole file's size and
// CRC-32. The last block may be short; its sums cover only its own bytes.
struct BlockIndex {
  // 8 bytes of SHA-256 (with the 32-bit weak sum, 96 bits per block): a false match would
  // still have to pass the whole file's CRC-32 and size. Each byte less per block is ~1/8000
  // of the file less on the wire.
  static constexpr size_t strongBytes = 8;
  using Strong = std::array<unsigned char, strongBytes>;
  struct Block {
    uint32_t weak = 0;
    Strong strong{};
  };

  uint64_t fileSize = 0;
  uint32_t crc = 0;
  uint32_t blockSize = 0;
  std::vector<Block> blocks;

  uint64_t blockOffset(size_t i) const { return static_cast<uint64_t>(i) * blockSize; }
  uint32_t blockLength(size_t i) const;
};

// The index's URL path below the game folder: "library/blocks/" + name + ".idx".
std::string blockIndexName(const std::string& listName);

// Block size for a file: 8 KiB, doubled until the file has at most 16,384 blocks (the index
// stays near 1/700 of the file, and an edit costs at most a block on each side).
uint32_t blockSizeFor(uint64_t fileSize);

// The rolling sum of `length` bytes: low half the byte sum, high half the sum of prefix sums.
uint32_t weakSum(const unsigned char* data, size_t length);
// The sum of the window one byte on: `out` leaves, `in` enters, `length` is the window's.
inline uint32_t rollWeak(uint32_t sum, unsigned char out, unsigned char in, uint32_t length) {
  const uint32_t a = ((sum & 0xFFFF) - out + in) & 0xFFFF;
  const uint32_t b = ((sum >> 16) - length * out + a) & 0xFFFF;
  return a | (b << 16);
}
BlockIndex::Strong strongSum(const unsigned char* data, size_t length);

// The index of `data` with `blockSize`.
BlockIndex indexOf(const unsigned char* data, uint64_t size, uint32_t blockSize);

// The binary form: "VBIX", version 1, size, CRC-32, block size, block count, then per block
// the weak sum and the strong sum; integers little-endian.
std::string formatBlockIndex(const BlockIndex& index);
// False on any fault: another magic or version, a block size that is not a power of two
// from 1 KiB to 16 MiB, a block count that does not cover the size, or a length that is
// not exactly the blocks'.
bool parseBlockIndex(const std::string& bytes, BlockIndex& out);

}  // namespace updater

namespace updater {

// Writes the block index of every file of `folder` of at least blockIndexMinimum bytes
// among `listText`'s lines, after removing the indexes of an earlier run; the count written.
// Throws std::runtime_error on a file that cannot be read or an index that cannot be written.
size_t publishBlockIndexes(const std::string& folder, const std::string& listText);

}  // namespace updater
