// Stand-in until the real bridge lands: no listener, every connection refused.
#include "player/bridge/SocketBridge.h"

#include <random>

namespace player {

struct SocketBridge::Impl {
  std::string origin;
  std::string secret;
};

SocketBridge::SocketBridge(std::string allowedOrigin) : impl_(std::make_unique<Impl>()) {
  impl_->origin = std::move(allowedOrigin);
  std::random_device random;
  static const char hex[] = "0123456789abcdef";
  for (int i = 0; i < 32; ++i) impl_->secret += hex[random() & 15];
}

SocketBridge::~SocketBridge() = default;

std::uint16_t SocketBridge::port() const {
  return 0;
}

const std::string& SocketBridge::secret() const {
  return impl_->secret;
}

std::string SocketBridge::proxyUrl(std::uint16_t tcpPort) const {
  return "ws://127.0.0.1:" + std::to_string(port()) + "/" + impl_->secret + "/" + std::to_string(tcpPort);
}

std::size_t SocketBridge::connectionCount() const {
  return 0;
}

}  // namespace player
