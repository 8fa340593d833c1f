#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace player {

// The checks on a WebSocket upgrade request to the bridge.
class BridgeRequest {
 public:
  // The TCP port named by a target "/SECRET/PORT", or 0 when the secret does
  // not match or the port is not a decimal number from 1 to 65535.
  static std::uint16_t targetPort(std::string_view target, const std::string& secret);

  // Random bytes as 2 * bytes lower-case hex characters; throws std::runtime_error.
  static std::string randomHex(std::size_t bytes);
};

}  // namespace player
