#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace updater {

// The signed companion of "library/crc.txt", "library/crc.txt.sig":
//
//   vornask-signed-list 2                 (1: no "expires" line; never expires)
//   serial <decimal>
//   expires <UTC seconds, decimal>        (version 2 only)
//   list <SHA-256 of crc.txt, 64 lower-case hex digits>
//   mirrors <SHA-256 of library/mirrors.txt>          (only when mirrors are published)
//   file <SHA-256 of the file> <name as listed>      (one line per listed file)
//   index <SHA-256 of its block index> <name as listed>  (one per indexed file)
//   signature <Ed25519 signature, standard base64>
//
// Every line ends with LF. The signature covers every byte before the
// "signature " line.
struct Manifest {
  uint64_t serial = 0;
  uint64_t expires = 0;                      // UTC seconds; 0: version 1, no expiry
  std::string listDigest;                    // raw 32 bytes
  std::string mirrorsDigest;                 // raw 32 bytes; empty: no mirror list is bound
  std::map<std::string, std::string> files;  // listed name -> raw 32-byte digest
  // listed name -> raw 32-byte digest of its "library/blocks/" index
  std::map<std::string, std::string> indexes;
};

// The signed part: every line but the signature's.
std::string manifestBody(const Manifest& manifest);

// The whole text: the body and its signature line.
std::string manifestText(const std::string& body, const std::string& signature);

// Strict: any deviation from the form above fails (names a reason in
// `error`). `body` receives the signed bytes, `signature` the raw 64 bytes.
bool parseManifest(const std::string& text, Manifest& manifest, std::string& body, std::string& signature,
                   std::string& error);

}  // namespace updater
