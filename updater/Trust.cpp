#include "updater/Trust.h"

#include "updater/FileList.h"
#include "updater/Signature.h"
#include "updater/Statements.h"

#include <ctime>
#include <vector>

namespace updater {

namespace {

Judgement refused(const std::string& reason) {
  Judgement judgement;
  judgement.reason = reason;
  return judgement;
}

// The root after the statements that lead on from `root`; "" and a reason when one is forged.
std::string followRoots(const std::string& text, std::string root, std::string& error) {
  std::vector<RootStatement> statements;
  if (!parseRootStatements(text, statements, error)) {
    error = "malformed root statements (" + error + ")";
    return std::string();
  }
  for (size_t step = 0; step < statements.size(); ++step) {
    bool moved = false;
    for (const RootStatement& statement : statements) {
      if (statement.oldRoot != root) continue;
      if (!verifySignature(statement.oldRoot, statement.body, statement.oldSignature) ||
          !verifySignature(statement.newRoot, statement.body, statement.newSignature)) {
        error = "a root statement is not signed by both roots";
        return std::string();
      }
      root = statement.newRoot;
      moved = true;
      break;
    }
    if (!moved) break;
  }
  return root;
}

// "" when `text` is an endorsement by the trusted root of the key that signed the manifest,
// unexpired and not retired; its serial then goes into `next`.
std::string checkEndorsement(const std::string& text, const Manifest& manifest, const std::string& body,
                             const std::string& signature, uint64_t now, TrustState& next) {
  if (text.empty()) return "not signed by this key";
  Endorsement endorsement;
  std::string endorsed, endorsementSignature, error;
  if (!parseEndorsement(text, endorsement, endorsed, endorsementSignature, error))
    return "malformed endorsement (" + error + ")";
  if (!verifySignature(next.root, endorsed, endorsementSignature))
    return "the endorsement is not signed by the root";
  if (!verifySignature(endorsement.key, body, signature))
    return "not signed by the root nor by the endorsed key";
  if (endorsement.serial < next.endorsementSerial)
    return "endorsement serial " + std::to_string(endorsement.serial) + " is older than the accepted " +
           std::to_string(next.endorsementSerial);
  if (now >= endorsement.expires) return "the endorsement expired at " + utcText(endorsement.expires);
  // A signing key signs only lists that expire.
  if (manifest.expires == 0) return "a list signed by an endorsed key has no expiry";
  next.endorsementSerial = endorsement.serial;
  return std::string();
}

}  // namespace

uint64_t utcNow() {
  const std::time_t now = std::time(nullptr);
  return now > 0 ? static_cast<uint64_t>(now) : 0;
}

std::string utcText(uint64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  char text[32] = "?";
  if (gmtime_r(&time, &parts)) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return std::string(text) + " UTC (" + std::to_string(seconds) + ")";
}

Judgement judgeList(const TrustInput& input, const TrustState& state, uint64_t now) {
  Manifest manifest;
  std::string body, signature, error;
  if (!parseManifest(input.manifest, manifest, body, signature, error))
    return refused("malformed signature file (" + error + ")");

  Judgement judgement;
  judgement.state = state;
  TrustState& next = judgement.state;
  // A new root counts from now on: whatever its predecessor signs is refused.
  if (!input.roots.empty()) {
    next.root = followRoots(input.roots, next.root, error);
    if (next.root.empty()) return refused(error);
  }
  if (!verifySignature(next.root, body, signature)) {
    if (!input.endorsementFetched) {
      judgement.verdict = Verdict::NeedEndorsement;
      judgement.reason = "not signed by the root";
      return judgement;
    }
    const std::string failure = checkEndorsement(input.endorsement, manifest, body, signature, now, next);
    if (!failure.empty()) return refused(failure);
  }
  if (manifest.listDigest != sha256(input.list)) return refused("crc.txt does not match its signed SHA-256");
  // Every listed file has its digest: what is listed is checked, whatever the step.
  for (const std::string& line : splitLines(input.list)) {
    ListLine parsed;
    if (parseListLine(line, parsed) && !manifest.files.count(parsed.name))
      return refused("listed but not signed: " + parsed.name);
  }
  if (manifest.serial < next.serial)
    return refused("serial " + std::to_string(manifest.serial) + " is older than the accepted " +
                   std::to_string(next.serial));
  if (manifest.expires != 0 && now >= manifest.expires) {
    judgement.verdict = Verdict::Expired;
    judgement.reason =
        "the file list expired at " + utcText(manifest.expires) + "; the clock reads " + utcText(now);
    return judgement;
  }
  next.serial = manifest.serial;
  judgement.verdict = Verdict::Accepted;
  judgement.manifest = std::move(manifest);
  return judgement;
}

}  // namespace updater
