#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "updater/Signature.h"

namespace vornaskctl {

// A number with "s", "m", "h" or "d" ("7d") in seconds; false for anything else.
bool parseDuration(const std::string& text, uint64_t& seconds);
// A decimal serial; false for anything else.
bool parseSerial(const std::string& text, uint64_t& serial);
// UTC seconds now: the default serial, and the start of every expiry.
uint64_t secondsNow();
// The private key in a PEM file. Throws std::runtime_error.
updater::SigningKey readSigningKey(const std::string& file);
// A public key (raw) from its base64 text, a file whose first line is that text, or a private
// key's PEM file; false when `source` is none of them.
bool readPublicKey(const std::string& source, std::string& raw);
// Writes `text` to `path` through a temporary file and a rename. Throws std::runtime_error.
void writeFileReplacing(const std::string& path, const std::string& text);

// The options of publish and resign: DIR [--sign KEYFILE] [--serial N] [--expires DURATION]
// [--endorsement FILE], checked and resolved (serial: now by default; expiry: now + 7 days).
struct SignOptions {
  std::string folder, keyFile, endorsementFile;
  bool serialGiven = false, expiresGiven = false;
  uint64_t serial = 0, expires = 0;
  std::vector<std::string> mirrors;  // --mirror URL, repeatable
};
// False with a message on `error` for an unknown, repeated or malformed option.
bool parseSignOptions(const std::vector<std::string>& args, SignOptions& options, std::string& error);

// Copies the endorsement in `file` to DIR/library/endorsement.txt once it is found to endorse
// `key`. Throws std::runtime_error.
void publishEndorsement(const std::string& folder, const std::string& file, const updater::SigningKey& key);

}  // namespace vornaskctl
