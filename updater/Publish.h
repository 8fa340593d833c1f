#pragma once

#include <cstdint>
#include <string>

namespace updater {

struct PublishResult {
  uint64_t files = 0;
  uint64_t bytes = 0;
  uint64_t indexes = 0;  // block indexes written under library/blocks/
};

// Text of "library/crc.txt" for a game folder: one "name:0:size:crc" line per
// non-empty regular file, "/" separators, sorted by name, the list itself
// left out. Throws std::runtime_error on a file that cannot be read, is
// 4 GiB or larger, or whose name holds ':' or LF.
std::string fileListOf(const std::string& folder, PublishResult& result);

// Writes folder/library/crc.txt (through a temporary file and a rename), then the block
// indexes of its large files.
PublishResult publishFolder(const std::string& folder);

}  // namespace updater
