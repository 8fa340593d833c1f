#pragma once

#include "platform/registry/Registry.h"
#include "updater/Manifest.h"

#include <cstdint>
#include <string>

namespace updater {

// VORNASK_UPDATE_KEY from the environment when set and not empty, else the
// key compiled in (empty: updates are not signed).
std::string configuredUpdateKey();

// The per-user value, beside "path", that holds the highest serial accepted
// and the key it was accepted with: "SERIAL KEY".
extern const char* const serialValueName;

// The signed side of the update: which list is accepted and what its files'
// digests are. Off (everything as unsigned) when made with an empty key.
class UpdateSigning {
 public:
  // `key`: base64 text; a key that does not decode rejects every list. The
  // serial is kept in `subKey` under `root` (the current user's when empty).
  UpdateSigning(const std::string& key, const platform::RegistryRoot& root, const std::string& subKey);

  bool enabled() const { return enabled_; }
  // Checks a fetched list and its signature file; on success their manifest
  // replaces the one files are checked against and its serial is recorded.
  bool accept(const std::string& list, const std::string& manifestText);
  // The highest serial accepted by this installation (0 when none).
  uint64_t highestSerial() const;
  bool signs(const std::string& name) const { return manifest_.files.count(name) != 0; }
  bool matches(const std::string& name, const std::string& path) const;
  // Whether the listed `name` has a signed block index, and whether `bytes` are it.
  bool signsIndex(const std::string& name) const { return manifest_.indexes.count(name) != 0; }
  bool indexMatches(const std::string& name, const std::string& bytes) const;
  // Whether `bytes` are the mirror list the accepted manifest binds (none bound: false).
  bool mirrorsMatch(const std::string& bytes) const;

 private:
  bool enabled_ = false;
  std::string key_;        // base64, as configured
  std::string publicKey_;  // raw; empty when the key does not decode
  platform::RegistryRoot root_;
  std::string subKey_;
  Manifest manifest_;
};

}  // namespace updater
