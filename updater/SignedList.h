#pragma once

#include "updater/Manifest.h"

#include <cstdint>
#include <string>
#include <vector>

namespace updater {

// "library/crc.txt.sig"
extern const char* const signatureListName;

// Checks a fetched list against its manifest text: well formed, signed by
// `publicKey` (raw), bound to the list's exact bytes, and not older than
// `lowestSerial`. "" and `manifest` filled, or the reason it fails.
std::string checkSignedList(const std::string& list, const std::string& manifestText,
                            const std::string& publicKey, uint64_t lowestSerial, Manifest& manifest);

// True when the file at `path` has the digest the manifest signs for `name`.
bool matchesManifest(const Manifest& manifest, const std::string& name, const std::string& path);

// True when `bytes` are the block index the manifest signs for the listed `name`.
bool indexMatchesManifest(const Manifest& manifest, const std::string& name, const std::string& bytes);

// A published folder checked against its signature: one line per failure
// (empty when everything holds); signed block indexes are checked too. `serial` receives the manifest's
// serial.
std::vector<std::string> verifyFolder(const std::string& folder, const std::string& publicKey,
                                      uint64_t& serial);

// The whole file; false when it cannot be read.
bool readWhole(const std::string& path, std::string& content);

// The public key from its base64 text (44 characters); false when it is not one.
bool decodePublicKey(const std::string& base64, std::string& raw);

}  // namespace updater
