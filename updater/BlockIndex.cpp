#include "updater/BlockIndex.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cstring>

namespace updater {

namespace {

const char magic[4] = {'V', 'B', 'I', 'X'};
const unsigned char version = 1;
// magic, version and three zero bytes, size (8), crc, block size, block count (4 each)
const size_t headerBytes = 8 + 8 + 4 + 4 + 4;
const size_t blockBytes = 4 + BlockIndex::strongBytes;
// 1 KiB to 16 MiB: smaller blocks make an index as large as the changes, larger ones
// fetch a whole region for a byte.
const uint32_t smallestBlock = 1 << 10, largestBlock = 1 << 24;

void put(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint64_t get(const std::string& in, size_t at, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i)
    value |= static_cast<uint64_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
  return value;
}

}  // namespace

uint32_t BlockIndex::blockLength(size_t i) const {
  const uint64_t rest = fileSize - blockOffset(i);
  return rest < blockSize ? static_cast<uint32_t>(rest) : blockSize;
}

std::string blockIndexName(const std::string& listName) {
  return "library/blocks/" + listName + ".idx";
}

uint32_t blockSizeFor(uint64_t fileSize) {
  uint32_t size = 8192;
  while (size < largestBlock && (fileSize + size - 1) / size > 16384) size *= 2;
  return size;
}

uint32_t weakSum(const unsigned char* data, size_t length) {
  uint32_t a = 0, b = 0;
  for (size_t i = 0; i < length; ++i) {
    a += data[i];
    b += a;
  }
  return (a & 0xFFFF) | ((b & 0xFFFF) << 16);
}

BlockIndex::Strong strongSum(const unsigned char* data, size_t length) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  unsigned int digestLength = 0;
  EVP_Digest(data, length, digest, &digestLength, EVP_sha256(), nullptr);
  BlockIndex::Strong strong;
  std::memcpy(strong.data(), digest, strong.size());
  return strong;
}

BlockIndex indexOf(const unsigned char* data, uint64_t size, uint32_t blockSize) {
  BlockIndex index;
  index.fileSize = size;
  index.blockSize = blockSize;
  index.blocks.resize(static_cast<size_t>((size + blockSize - 1) / blockSize));
  for (size_t i = 0; i < index.blocks.size(); ++i) {
    const unsigned char* block = data + index.blockOffset(i);
    index.blocks[i].weak = weakSum(block, index.blockLength(i));
    index.blocks[i].strong = strongSum(block, index.blockLength(i));
  }
  return index;
}

std::string formatBlockIndex(const BlockIndex& index) {
  std::string out(magic, sizeof magic);
  out += static_cast<char>(version);
  out.append(3, '\0');
  put(out, index.fileSize, 8);
  put(out, index.crc, 4);
  put(out, index.blockSize, 4);
  put(out, index.blocks.size(), 4);
  out.reserve(out.size() + index.blocks.size() * blockBytes);
  for (const BlockIndex::Block& block : index.blocks) {
    put(out, block.weak, 4);
    out.append(reinterpret_cast<const char*>(block.strong.data()), block.strong.size());
  }
  return out;
}

bool parseBlockIndex(const std::string& bytes, BlockIndex& out) {
  out = BlockIndex();
  if (bytes.size() < headerBytes || bytes.compare(0, 4, magic, 4) != 0) return false;
  if (static_cast<unsigned char>(bytes[4]) != version || bytes[5] || bytes[6] || bytes[7]) return false;
  BlockIndex index;
  index.fileSize = get(bytes, 8, 8);
  index.crc = static_cast<uint32_t>(get(bytes, 16, 4));
  index.blockSize = static_cast<uint32_t>(get(bytes, 20, 4));
  const uint64_t count = get(bytes, 24, 4);
  const uint32_t b = index.blockSize;
  if (b < smallestBlock || b > largestBlock || (b & (b - 1)) != 0) return false;
  // Rounded up without adding to the size, which may be near 2^64.
  if (index.fileSize == 0 || count != index.fileSize / b + (index.fileSize % b != 0)) return false;
  if ((bytes.size() - headerBytes) / blockBytes != count || (bytes.size() - headerBytes) % blockBytes != 0)
    return false;
  index.blocks.resize(static_cast<size_t>(count));
  size_t at = headerBytes;
  for (BlockIndex::Block& block : index.blocks) {
    block.weak = static_cast<uint32_t>(get(bytes, at, 4));
    std::memcpy(block.strong.data(), bytes.data() + at + 4, block.strong.size());
    at += blockBytes;
  }
  out = std::move(index);
  return true;
}

}  // namespace updater
