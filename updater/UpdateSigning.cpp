#include "updater/UpdateSigning.h"

#include "updater/Signature.h"
#include "updater/SignedList.h"

#include <cstdlib>

#ifndef VORNASK_UPDATE_KEY
#define VORNASK_UPDATE_KEY ""
#endif

namespace updater {

const char* const serialValueName = "updateSerial";

std::string configuredUpdateKey() {
  const char* key = std::getenv("VORNASK_UPDATE_KEY");
  return key && *key ? key : VORNASK_UPDATE_KEY;
}

UpdateSigning::UpdateSigning(const std::string& key, const platform::RegistryRoot& root,
                             const std::string& subKey)
    : enabled_(!key.empty()),
      key_(key),
      root_(root.folder.empty() ? platform::openCurrentUser() : root),
      subKey_(subKey) {
  if (enabled_ && !decodePublicKey(key, publicKey_)) publicKey_.clear();
}

uint64_t UpdateSigning::highestSerial() const {
  platform::RegistryKey key;
  std::string text;
  if (key.open(root_, subKey_) != 0 || key.queryString(serialValueName, text) != 0) return 0;
  // "SERIAL KEY": a serial of another key (a staging server's, the demo's) does not apply.
  const size_t space = text.find(' ');
  if (space == std::string::npos || text.compare(space + 1, std::string::npos, key_) != 0) return 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  return end == text.c_str() + space ? value : 0;
}

bool UpdateSigning::accept(const std::string& list, const std::string& manifestText) {
  if (publicKey_.empty()) return false;
  const uint64_t highest = highestSerial();
  Manifest manifest;
  if (!checkSignedList(list, manifestText, publicKey_, highest, manifest).empty()) return false;
  if (manifest.serial > highest) {
    platform::RegistryKey key;
    if (key.create(root_, subKey_) == 0)
      key.setString(serialValueName, std::to_string(manifest.serial) + " " + key_);
  }
  manifest_ = std::move(manifest);
  return true;
}

bool UpdateSigning::matches(const std::string& name, const std::string& path) const {
  return matchesManifest(manifest_, name, path);
}

bool UpdateSigning::indexMatches(const std::string& name, const std::string& bytes) const {
  return indexMatchesManifest(manifest_, name, bytes);
}

bool UpdateSigning::mirrorsMatch(const std::string& bytes) const {
  return !manifest_.mirrorsDigest.empty() && sha256(bytes) == manifest_.mirrorsDigest;
}

}  // namespace updater
