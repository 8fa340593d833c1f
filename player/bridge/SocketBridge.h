#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

namespace player {

// A WebSocket-to-TCP bridge on the loopback interface for the movie's sockets.
// A WebSocket opened on proxyUrl(p) by a page of the allowed origin is joined
// to 127.0.0.1:p and carries bytes both ways unchanged; anything else is refused.
class SocketBridge {
 public:
  // Listens on 127.0.0.1 on a port the system chooses; throws std::runtime_error on failure.
  explicit SocketBridge(std::string allowedOrigin);
  // Closes the listener and every connection and joins the bridge's thread.
  ~SocketBridge();
  SocketBridge(const SocketBridge&) = delete;
  SocketBridge& operator=(const SocketBridge&) = delete;

  // Connections kept open at once: a game uses one or two; the rest of the
  // room lets a page reconnect while old ones close.
  static constexpr std::size_t maxConnections = 32;

  std::uint16_t port() const;
  // 32 hex characters, random per bridge.
  const std::string& secret() const;
  // "ws://127.0.0.1:PORT/SECRET/TCPPORT".
  std::string proxyUrl(std::uint16_t tcpPort) const;
  // From now on only these TCP ports are joined (every port until this is called); others are refused with
  // 403.
  void allowPorts(std::set<std::uint16_t> ports);
  // Connections accepted and not yet ended; 32 at most are kept open at once,
  // and one that has not finished its handshake 3 s after it came is closed.
  std::size_t connectionCount() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace player
