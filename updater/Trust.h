#pragma once

#include "updater/Manifest.h"

#include <cstdint>
#include <string>

namespace updater {

// What an installation trusts, as kept in its per-user store.
struct TrustState {
  std::string root;                // raw public key: the configured one or the newest it led to
  uint64_t serial = 0;             // highest list serial accepted
  uint64_t endorsementSerial = 0;  // highest endorsement serial accepted
};

// A fetched list with its manifest, the root statements and, once fetched, the endorsement
// published beside it (empty when absent).
struct TrustInput {
  std::string list;
  std::string manifest;
  std::string roots;
  bool endorsementFetched = false;
  std::string endorsement;
};

enum class Verdict {
  Accepted,
  Refused,
  Expired,         // well signed, but past its expiry
  NeedEndorsement  // not signed by the root: the endorsement decides
};

struct Judgement {
  Verdict verdict = Verdict::Refused;
  std::string reason;  // why it is not accepted
  Manifest manifest;   // when accepted
  TrustState state;    // the state to keep once accepted
};

// The one rule for lists. A list is accepted when its manifest is well formed, bound to the
// list's bytes, signed by the root (the trusted one after following the root statements from
// it, at most maxRootStatements steps) or by a key that root endorses (unexpired, serial not
// below the highest accepted; expiring manifests only), not below the highest serial accepted,
// and not expired at `now` (UTC seconds).
Judgement judgeList(const TrustInput& input, const TrustState& state, uint64_t now);

uint64_t utcNow();
// "2026-12-10 00:00:00 UTC (1765324800)"
std::string utcText(uint64_t seconds);

}  // namespace updater
