#include "updater/Delta.h"

#include <boost/interprocess/file_mapping.hpp>
#include <boost/interprocess/mapped_region.hpp>
#include <fstream>
#include <unordered_map>

namespace updater {

namespace bip = boost::interprocess;

DeltaPlan matchBlocks(const BlockIndex& index, const unsigned char* old, uint64_t oldSize) {
  const uint32_t b = index.blockSize;
  const size_t count = index.blocks.size();
  std::vector<bool> found(count, false);
  std::vector<uint64_t> source(count, 0);

  // Full blocks by weak sum; a bit per 20-bit fold (16,384 blocks set under 2 % of them)
  // keeps most windows away from the map.
  std::unordered_map<uint32_t, std::vector<size_t>> byWeak;
  std::vector<bool> filter(1 << 20, false);
  const auto fold = [](uint32_t weak) { return (weak ^ (weak >> 12)) & 0xFFFFF; };
  for (size_t i = 0; i < count; ++i) {
    if (index.blockLength(i) != b) continue;
    byWeak[index.blocks[i].weak].push_back(i);
    filter[fold(index.blocks[i].weak)] = true;
  }

  // Marks every unfound block with the window's sums; true when there was one.
  const auto tryWindow = [&](uint64_t at, uint32_t weak) {
    const auto hit = byWeak.find(weak);
    if (hit == byWeak.end()) return false;
    bool open = false;
    for (size_t i : hit->second) open = open || !found[i];
    if (!open) return false;
    const BlockIndex::Strong strong = strongSum(old + at, b);
    bool matched = false;
    for (size_t i : hit->second) {
      if (found[i] || index.blocks[i].strong != strong) continue;
      found[i] = true;
      source[i] = at;
      matched = true;
    }
    return matched;
  };

  uint64_t at = 0;
  uint64_t lastEnd = 0;  // end of the last matched window
  if (oldSize >= b && !byWeak.empty()) {
    uint32_t weak = weakSum(old, b);
    while (at + b <= oldSize) {
      if (filter[fold(weak)] && tryWindow(at, weak)) {
        at += b;
        lastEnd = at;
        if (at + b <= oldSize) weak = weakSum(old + at, b);
        continue;
      }
      if (at + b >= oldSize) break;
      weak = rollWeak(weak, old[at], old[at + b], b);
      ++at;
    }
  }
  // A short last block is looked for where a file's end usually is.
  const size_t last = count - 1;
  const uint32_t tail = count ? index.blockLength(last) : 0;
  if (count && tail != b) {
    for (const uint64_t candidate : {oldSize >= tail ? oldSize - tail : UINT64_MAX, lastEnd}) {
      if (candidate == UINT64_MAX || candidate + tail > oldSize || found[last]) continue;
      if (index.blocks[last].weak == weakSum(old + candidate, tail) &&
          index.blocks[last].strong == strongSum(old + candidate, tail)) {
        found[last] = true;
        source[last] = candidate;
      }
    }
  }

  DeltaPlan plan;
  for (size_t i = 0; i < count; ++i) {
    const uint64_t begin = index.blockOffset(i), end = begin + index.blockLength(i);
    if (found[i]) {
      plan.copies.push_back({source[i], begin, index.blockLength(i)});
      plan.reusedBytes += index.blockLength(i);
    } else if (!plan.missing.empty() && plan.missing.back().end == begin) {
      plan.missing.back().end = end;
    } else {
      plan.missing.push_back({begin, end});
    }
  }
  return plan;
}

std::string copyBlocks(const DeltaPlan& plan, const std::string& oldPath, const std::string& target,
                       uint64_t newSize) {
  try {
    {
      std::fstream create(target, std::ios::binary | std::ios::out | std::ios::app);
      if (!create) return "cannot create " + target;
    }
    std::fstream out(target, std::ios::binary | std::ios::in | std::ios::out);
    if (!out) return "cannot open " + target;
    if (plan.copies.empty()) return "";
    bip::file_mapping file(oldPath.c_str(), bip::read_only);
    bip::mapped_region region(file, bip::read_only);
    const auto* old = static_cast<const char*>(region.get_address());
    // Copies that follow each other in both files go out as one write.
    for (size_t i = 0; i < plan.copies.size();) {
      const DeltaPlan::Copy& first = plan.copies[i];
      uint64_t length = first.length;
      for (++i; i < plan.copies.size() && plan.copies[i].from == first.from + length &&
                plan.copies[i].to == first.to + length;
           ++i)
        length += plan.copies[i].length;
      if (first.from + length > region.get_size() || first.to + length > newSize)
        return "a copy lies outside the files";
      out.seekp(static_cast<std::streamoff>(first.to));
      out.write(old + first.from, static_cast<std::streamsize>(length));
    }
    if (!out.flush()) return "cannot write " + target;
    return "";
  } catch (const bip::interprocess_exception& e) {
    return std::string("cannot map ") + oldPath + ": " + e.what();
  }
}

}  // namespace updater
