#pragma once

#include "platform/registry/Registry.h"
#include "updater/Manifest.h"
#include "updater/Trust.h"

#include <cstdint>
#include <string>

namespace updater {

// VORNASK_UPDATE_KEY from the environment when set and not empty, else the
// key compiled in (empty: updates are not signed).
std::string configuredUpdateKey();

// The per-user values, beside "path", each "VALUE KEY" with KEY the configured key (values
// kept for another key do not apply): the highest list serial accepted, the newest root the
// root statements led to, and the highest endorsement serial accepted.
extern const char* const serialValueName;
extern const char* const rootValueName;
extern const char* const endorsementValueName;

// What a downloaded file must be to be used: its listed size and CRC-32 and, with a key, the
// SHA-256 signed for it. Checked in one read, on any thread.
struct FileExpectation {
  std::string path;
  uint32_t size = 0;
  uint32_t crc = 0;
  std::string digest;  // raw; empty: not checked
  bool holds() const;
};

// How a fetched list fared.
enum class ListCheck {
  Accepted,
  Refused,
  Expired,
  NeedEndorsement,  // fetch the endorsement, then check again
  NotStored         // accepted, but what it leaves to keep could not be written
};

// The signed side of the update: which list is accepted and what its files'
// digests are. Off (everything as unsigned) when made with an empty key.
class UpdateSigning {
 public:
  // `key`: base64 text; a key that does not decode rejects every list. The
  // state is kept in `subKey` under `root` (the current user's when empty).
  UpdateSigning(const std::string& key, const platform::RegistryRoot& root, const std::string& subKey);

  bool enabled() const { return enabled_; }
  // Checks a fetched list (judgeList at the current time); on success its manifest replaces
  // the one files are checked against and the new state is kept. Refusals are logged.
  ListCheck accept(const TrustInput& input);
  // What this installation trusts now.
  TrustState state() const;

  // The one answer to whether a file may be used once its size and CRC-32 hold: always without
  // a key; with one, when `path` has the digest the accepted manifest signs for `name`. An
  // accepted manifest signs every listed name, so only names outside the list go unchecked.
  bool fileTrusted(const std::string& name, const std::string& path) const;
  // What the file at `path` must be to stand for the listed `name` (fileTrusted's answer with
  // the size and CRC-32 checked in the same read).
  FileExpectation expectation(const std::string& name, const std::string& path, uint32_t size,
                              uint32_t crc) const;
  // Whether a block index for `name` may be fetched, and whether `bytes` may be used as it.
  bool indexUsable(const std::string& name) const;
  bool indexTrusted(const std::string& name, const std::string& bytes) const;
  // Whether `bytes` are the mirror list the accepted manifest binds (none bound: false).
  bool mirrorsMatch(const std::string& bytes) const;

 private:
  std::string storedValue(const std::string& name) const;
  uint64_t storedNumber(const std::string& name) const;

  bool enabled_ = false;
  std::string key_;        // base64, as configured
  std::string publicKey_;  // raw; empty when the key does not decode
  platform::RegistryRoot root_;
  std::string subKey_;
  Manifest manifest_;
};

}  // namespace updater
