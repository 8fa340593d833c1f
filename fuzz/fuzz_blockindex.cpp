// Block indexes from arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "updater/BlockIndex.h"
#include "updater/Delta.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  updater::BlockIndex index;
  if (!updater::parseBlockIndex(bytes, index)) {
    if (!index.blocks.empty()) __builtin_trap();
    return 0;
  }
  // An accepted index covers its size exactly and writes back to the same bytes.
  if (index.blocks.empty() || index.blockOffset(index.blocks.size() - 1) >= index.fileSize) __builtin_trap();
  if (updater::formatBlockIndex(index) != bytes) __builtin_trap();
  // Matching it against the input itself stays within both files.
  const updater::DeltaPlan plan = updater::matchBlocks(index, data, size);
  uint64_t covered = plan.reusedBytes;
  for (const auto& range : plan.missing) {
    if (range.begin >= range.end || range.end > index.fileSize) __builtin_trap();
    covered += range.end - range.begin;
  }
  for (const auto& copy : plan.copies)
    if (copy.from + copy.length > size) __builtin_trap();
  if (covered != index.fileSize) __builtin_trap();
  return 0;
}
