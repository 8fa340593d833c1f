// The rule for lists over hand-made manifests, endorsements and root statements, at a fixed clock.
#include "updater/FileCheck.h"
#include "updater/Signature.h"
#include "updater/Statements.h"
#include "updater/Trust.h"

#include <gtest/gtest.h>

#include <functional>

using namespace updater;

namespace {

const uint64_t now = 1765324800;

struct Keys {
  SigningKey root = SigningKey::generate(), signer = SigningKey::generate(), second = SigningKey::generate(),
             third = SigningKey::generate();
};

const std::string list = "a.txt:0:3:" + [] {
  char crc[16];
  std::snprintf(crc, sizeof crc, "%x", crc32Of("aaa", 3));
  return std::string(crc);
}() + "\n";

std::string manifest(const SigningKey& by, uint64_t serial, uint64_t expires, bool signsFile = true) {
  Manifest m;
  m.serial = serial;
  m.expires = expires;
  m.listDigest = sha256(list);
  if (signsFile) m.files["a.txt"] = sha256("aaa");
  const std::string body = manifestBody(m);
  return manifestText(body, by.sign(body));
}

std::string endorse(const SigningKey& root, const SigningKey& key, uint64_t serial, uint64_t expires) {
  return endorsementText({serial, expires, key.publicKey()}, root);
}

}  // namespace

TEST(TrustTest, ListsAreAcceptedByExpiryEndorsementAndRootChain) {
  const Keys k;
  const std::string rotation = rootStatementText(k.root, k.second);
  const std::string chain = rotation + rootStatementText(k.second, k.third);
  std::string halfSigned = rotation;  // the new root's signature replaced by the old root's
  halfSigned.replace(halfSigned.rfind("new-signature ") + 14, 88,
                     base64Encode(k.root.sign(rotation.substr(0, rotation.find("old-signature")))));
  struct Case {
    const char* what;
    std::function<void(TrustInput&, TrustState&)> edit;
    Verdict verdict;
    std::string reason;  // start of the reason when not accepted
  } cases[] = {
      {"a root-signed list without expiry",
       [&](TrustInput& in, TrustState&) { in.manifest = manifest(k.root, 7, 0); }, Verdict::Accepted, ""},
      {"an unexpired list", [](TrustInput&, TrustState&) {}, Verdict::Accepted, ""},
      {"an expired list", [&](TrustInput& in, TrustState&) { in.manifest = manifest(k.root, 7, now - 1); },
       Verdict::Expired,
       "the file list expired at 2025-12-09 23:59:59 UTC (1765324799); the clock reads 2025-12-10 00:00:00 "
       "UTC"},
      {"a list expiring now", [&](TrustInput& in, TrustState&) { in.manifest = manifest(k.root, 7, now); },
       Verdict::Expired, "the file list expired"},
      {"an older serial", [](TrustInput&, TrustState& s) { s.serial = 8; }, Verdict::Refused,
       "serial 7 is older"},
      {"a listed file not signed",
       [&](TrustInput& in, TrustState&) { in.manifest = manifest(k.root, 7, now + 60, false); },
       Verdict::Refused, "listed but not signed: a.txt"},
      {"another key, before the endorsement",
       [&](TrustInput& in, TrustState&) {
         in.manifest = manifest(k.signer, 7, now + 60);
         in.endorsementFetched = false;
       },
       Verdict::NeedEndorsement, ""},
      {"another key, no endorsement",
       [&](TrustInput& in, TrustState&) { in.manifest = manifest(k.signer, 7, now + 60); }, Verdict::Refused,
       "not signed by this key"},
      {"an endorsed key",
       [&](TrustInput& in, TrustState&) {
         in.manifest = manifest(k.signer, 7, now + 60);
         in.endorsement = endorse(k.root, k.signer, 3, now + 60);
       },
       Verdict::Accepted, ""},
      {"an endorsement of another key",
       [&](TrustInput& in, TrustState&) {
         in.manifest = manifest(k.signer, 7, now + 60);
         in.endorsement = endorse(k.root, k.second, 3, now + 60);
       },
       Verdict::Refused, "not signed by the root nor by the endorsed key"},
      {"an endorsement not by the root",
       [&](TrustInput& in, TrustState&) {
         in.manifest = manifest(k.signer, 7, now + 60);
         in.endorsement = endorse(k.signer, k.signer, 3, now + 60);
       },
       Verdict::Refused, "the endorsement is not signed by the root"},
      {"an expired endorsement",
       [&](TrustInput& in, TrustState&) {
         in.manifest = manifest(k.signer, 7, now + 60);
         in.endorsement = endorse(k.root, k.signer, 3, now);
       },
       Verdict::Refused, "the endorsement expired"},
      {"a retired endorsement",
       [&](TrustInput& in, TrustState& s) {
         in.manifest = manifest(k.signer, 7, now + 60);
         in.endorsement = endorse(k.root, k.signer, 3, now + 60);
         s.endorsementSerial = 4;
       },
       Verdict::Refused, "endorsement serial 3 is older than the accepted 4"},
      {"an endorsed key's list without expiry",
       [&](TrustInput& in, TrustState&) {
         in.manifest = manifest(k.signer, 7, 0);
         in.endorsement = endorse(k.root, k.signer, 3, now + 60);
       },
       Verdict::Refused, "a list signed by an endorsed key has no expiry"},
      {"a malformed endorsement",
       [&](TrustInput& in, TrustState&) {
         in.manifest = manifest(k.signer, 7, now + 60);
         in.endorsement = endorse(k.root, k.signer, 3, now + 60) + "\n";
       },
       Verdict::Refused, "malformed endorsement"},
      {"two root steps",
       [&](TrustInput& in, TrustState&) {
         in.manifest = manifest(k.third, 7, now + 60);
         in.roots = chain;
       },
       Verdict::Accepted, ""},
      {"an endorsement by the new root",
       [&](TrustInput& in, TrustState&) {
         in.manifest = manifest(k.signer, 7, now + 60);
         in.endorsement = endorse(k.second, k.signer, 3, now + 60);
         in.roots = rotation;
       },
       Verdict::Accepted, ""},
      {"a statement the new root did not sign",
       [&](TrustInput& in, TrustState&) {
         in.manifest = manifest(k.second, 7, now + 60);
         in.roots = halfSigned;
       },
       Verdict::Refused, "a root statement is not signed by both roots"},
      {"the old root beside its rotation", [&](TrustInput& in, TrustState&) { in.roots = rotation; },
       Verdict::Refused, "not signed by this key"},
      {"the old root once the new one is kept",
       [&](TrustInput& in, TrustState& s) {
         in.roots = rotation;
         s.root = k.second.publicKey();
       },
       Verdict::Refused, "not signed by this key"},
      {"a chain that starts elsewhere",
       [&](TrustInput& in, TrustState&) {
         in.manifest = manifest(k.third, 7, now + 60);
         in.roots = rootStatementText(k.second, k.third);
       },
       Verdict::Refused, "not signed by this key"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TrustInput input;
    input.list = list;
    input.manifest = manifest(k.root, 7, now + 60);
    input.endorsementFetched = true;
    TrustState state;
    state.root = k.root.publicKey();
    c.edit(input, state);
    const Judgement judgement = judgeList(input, state, now);
    EXPECT_EQ(c.verdict, judgement.verdict);
    EXPECT_EQ(0u, judgement.reason.find(c.reason)) << judgement.reason;
    if (judgement.verdict != Verdict::Accepted) continue;
    EXPECT_EQ(7u, judgement.state.serial);
    EXPECT_EQ(1u, judgement.manifest.files.count("a.txt"));
    EXPECT_EQ(input.endorsement.empty() ? 0u : 3u, judgement.state.endorsementSerial);
  }
}
