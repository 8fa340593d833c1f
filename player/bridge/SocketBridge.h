#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace player {

// WebSocket-to-TCP bridge on loopback for one page.
class SocketBridge {
 public:
  explicit SocketBridge(std::string allowedOrigin);  // listens on 127.0.0.1, port chosen by the system;
                                                     // throws std::runtime_error on failure
  ~SocketBridge();  // closes the listener and every connection, joins its thread
  SocketBridge(const SocketBridge&) = delete;
  SocketBridge& operator=(const SocketBridge&) = delete;

  std::uint16_t port() const;
  const std::string& secret() const;                  // random per bridge, 32 hex characters
  std::string proxyUrl(std::uint16_t tcpPort) const;  // "ws://127.0.0.1:PORT/SECRET/TCPPORT"
  std::size_t connectionCount() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace player
