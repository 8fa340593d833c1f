#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace updater {

class SigningKey;

// "library/endorsement.txt": the root's word that a signing key may sign lists.
//
//   vornask-endorsement 1
//   serial <decimal>
//   expires <UTC seconds, decimal>
//   key <the signing key's public key, standard base64>
//   signature <Ed25519 signature by the root over every byte before this line>
struct Endorsement {
  uint64_t serial = 0;
  uint64_t expires = 0;
  std::string key;  // raw 32 bytes
};

extern const char* const endorsementName;

std::string endorsementText(const Endorsement& endorsement, const SigningKey& root);
// Strict; `body` receives the signed bytes, `signature` the raw 64 bytes.
bool parseEndorsement(const std::string& text, Endorsement& endorsement, std::string& body,
                      std::string& signature, std::string& error);

// "library/roots.txt": statements that hand trust from one root to the next, in order, each
//
//   vornask-root-rotation 1
//   old <the old root's public key, standard base64>
//   new <the new root's public key, standard base64>
//   old-signature <by the old root over the three lines above>
//   new-signature <by the new root over the same lines>
struct RootStatement {
  std::string oldRoot, newRoot;  // raw 32 bytes each
  std::string body;
  std::string oldSignature, newSignature;  // raw 64 bytes each
};

extern const char* const rootStatementsName;

std::string rootStatementText(const SigningKey& oldRoot, const SigningKey& newRoot);
// Strict: every statement well formed, at most `maxRootStatements` of them.
bool parseRootStatements(const std::string& text, std::vector<RootStatement>& statements, std::string& error);

// A file holds at most this many statements; a client follows at most as many steps.
constexpr size_t maxRootStatements = 16;

}  // namespace updater
