#include "updater/UpdateSigning.h"

#include "logging/Log.h"
#include "updater/Logs.h"
#include "updater/Signature.h"
#include "updater/SignedList.h"

#include <cstdlib>

#ifndef VORNASK_UPDATE_KEY
#define VORNASK_UPDATE_KEY ""
#endif

namespace updater {

const char* const serialValueName = "updateSerial";
const char* const rootValueName = "updateRoot";
const char* const endorsementValueName = "updateEndorsement";

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

std::string UpdateSigning::storedValue(const std::string& name) const {
  platform::RegistryKey key;
  std::string text;
  if (key.open(root_, subKey_) != 0 || key.queryString(name, text) != 0) return std::string();
  // "VALUE KEY": a value kept for another key (a staging server's, the demo's) does not apply.
  const size_t space = text.find(' ');
  if (space == std::string::npos || text.compare(space + 1, std::string::npos, key_) != 0)
    return std::string();
  return text.substr(0, space);
}

uint64_t UpdateSigning::storedNumber(const std::string& name) const {
  const std::string text = storedValue(name);
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  return !text.empty() && end == text.c_str() + text.size() ? value : 0;
}

TrustState UpdateSigning::state() const {
  TrustState state;
  state.root = publicKey_;
  std::string newer;
  if (decodePublicKey(storedValue(rootValueName), newer)) state.root = newer;
  state.serial = storedNumber(serialValueName);
  state.endorsementSerial = storedNumber(endorsementValueName);
  return state;
}

ListCheck UpdateSigning::accept(const TrustInput& input) {
  if (publicKey_.empty()) {
    MLOG(updaterLog(), mlog::Warning) << "file list refused: the update key is not a base64 public key";
    return ListCheck::Refused;
  }
  const TrustState before = state();
  Judgement judgement = judgeList(input, before, utcNow());
  switch (judgement.verdict) {
    case Verdict::NeedEndorsement:
      return ListCheck::NeedEndorsement;
    case Verdict::Expired:
      MLOG(updaterLog(), mlog::Error) << judgement.reason;
      return ListCheck::Expired;
    case Verdict::Refused:
      MLOG(updaterLog(), mlog::Warning) << "file list refused: " << judgement.reason;
      return ListCheck::Refused;
    case Verdict::Accepted:
      break;
  }
  const TrustState& after = judgement.state;
  platform::RegistryKey key;
  int error = key.create(root_, subKey_);
  // The serial goes last: a root or endorsement kept without it is only checked again.
  if (!error && after.root != before.root)
    error = key.setString(rootValueName, base64Encode(after.root) + " " + key_);
  if (!error && after.endorsementSerial != before.endorsementSerial)
    error = key.setString(endorsementValueName, std::to_string(after.endorsementSerial) + " " + key_);
  if (!error && after.serial != before.serial)
    error = key.setString(serialValueName, std::to_string(after.serial) + " " + key_);
  if (error) {
    // Without the serial kept, an older list would be taken next time.
    MLOG(updaterLog(), mlog::Error) << "the accepted serial " << after.serial << " cannot be stored: error "
                                    << error;
    return ListCheck::NotStored;
  }
  manifest_ = std::move(judgement.manifest);
  return ListCheck::Accepted;
}

bool UpdateSigning::fileTrusted(const std::string& name, const std::string& path) const {
  return !enabled_ || !manifest_.files.count(name) || matchesManifest(manifest_, name, path);
}

bool FileExpectation::holds() const {
  uint64_t actualSize = 0;
  uint32_t actualCrc = 0;
  std::string actualDigest;
  return fileSums(path, actualSize, actualCrc, actualDigest) && actualSize != 0 && actualSize == size &&
         actualCrc == crc && (digest.empty() || actualDigest == digest);
}

FileExpectation UpdateSigning::expectation(const std::string& name, const std::string& path, uint32_t size,
                                           uint32_t crc) const {
  FileExpectation expected;
  expected.path = path;
  expected.size = size;
  expected.crc = crc;
  const auto signedFile = manifest_.files.find(name);
  if (enabled_ && signedFile != manifest_.files.end()) expected.digest = signedFile->second;
  return expected;
}

bool UpdateSigning::indexUsable(const std::string& name) const {
  return !enabled_ || manifest_.indexes.count(name) != 0;
}

bool UpdateSigning::indexTrusted(const std::string& name, const std::string& bytes) const {
  return !enabled_ || indexMatchesManifest(manifest_, name, bytes);
}

bool UpdateSigning::mirrorsMatch(const std::string& bytes) const {
  return !manifest_.mirrorsDigest.empty() && sha256(bytes) == manifest_.mirrorsDigest;
}

}  // namespace updater
