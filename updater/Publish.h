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
// under `serial`, expiring at `expires` (UTC seconds; 0: never), signed by `key`.
std::string signedManifestOf(const std::string& folder, const std::string& list, uint64_t serial,
                             const SigningKey& key, uint64_t expires = 0);

// publishFolder with the block indexes signed: folder/library/crc.txt.sig beside the list.
PublishResult publishSignedFolder(const std::string& folder, const SigningKey& key, uint64_t serial,
                                  uint64_t expires = 0, const std::vector<std::string>& mirrors = {});

// A new folder/library/crc.txt.sig for the published list under a new serial and expiry, with
// the file digests of the one it replaces (the game's files are not read). The old manifest
// must be bound to the list. Returns the serial written: `serial`, or one above the old one
// when `serial` is not higher. Throws std::runtime_error.
uint64_t resignFolder(const std::string& folder, const SigningKey& key, uint64_t serial, uint64_t expires);

}  // namespace updater
