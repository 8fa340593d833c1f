#include "player/bridge/BridgeRequest.h"

#include "support/Text.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <stdexcept>
#include <vector>

namespace player {

std::uint16_t BridgeRequest::targetPort(std::string_view target, const std::string& secret) {
  if (target.size() < secret.size() + 3 || target[0] != '/' || target[secret.size() + 1] != '/') return 0;
  if (CRYPTO_memcmp(target.data() + 1, secret.data(), secret.size()) != 0) return 0;
  const std::string_view digits = target.substr(secret.size() + 2);
  if (digits.empty() || digits.size() > 5) return 0;
  unsigned port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    port = port * 10 + unsigned(c - '0');
  }
  return port >= 1 && port <= 65535 ? static_cast<std::uint16_t>(port) : 0;
}

std::string BridgeRequest::randomHex(std::size_t bytes) {
  std::vector<unsigned char> raw(bytes);
  if (RAND_bytes(raw.data(), static_cast<int>(raw.size())) != 1)
    throw std::runtime_error("no random bytes for the bridge secret");
  return mstd::hexBytes(raw.data(), raw.size());
}

}  // namespace player
