#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
// indexes of its large files. The mirror list is written with `mirrors`, removed without.
PublishResult publishFolder(const std::string& folder, const std::vector<std::string>& mirrors = {});

class SigningKey;

// The manifest text for a list written by fileListOf: the list's digest, the mirror list's
// when there is one, every listed file's and that of every block index present for them,
// under `serial`, signed by `key`.
std::string signedManifestOf(const std::string& folder, const std::string& list, uint64_t serial,
                             const SigningKey& key);

// publishFolder with the block indexes signed: folder/library/crc.txt.sig beside the list.
PublishResult publishSignedFolder(const std::string& folder, const SigningKey& key, uint64_t serial,
                                  const std::vector<std::string>& mirrors = {});

}  // namespace updater
