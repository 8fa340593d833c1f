#pragma once

#include <boost/asio/ip/tcp.hpp>

#include <cstdint>
#include <memory>
#include <vector>

namespace relay {

// The local relay between the game movie and the game server. Listens on
// 127.0.0.1; every accepted client gets one upstream connection, and whole
// game messages are carried both ways on the relay thread.
class Proxy {
 public:
  static constexpr std::uint16_t fixed_port = 15190;
  static constexpr std::uint16_t game_server_port = 5190;

  // Upstream is the game server (gameServer()).
  Proxy();
  // Upstream and fixed-mode listening port given, for tests and tools.
  explicit Proxy(const boost::asio::ip::tcp::endpoint& upstream, std::uint16_t fixedPort = fixed_port);
  ~Proxy();
  Proxy(const Proxy&) = delete;
  Proxy& operator=(const Proxy&) = delete;

  // The process's relay, created on first use and destroyed at exit.
  static Proxy& instance();

  // Starts listening and the relay thread unless already running; a later call
  // changes nothing. Throws when the port cannot be listened on.
  void start(bool addressed);

  // The ports a movie may connect to: the listening port once started;
  // before that the fixed port and a port bound now (not listening yet) that
  // an addressed start listens on. Throws when no port can be bound.
  std::vector<std::uint16_t> movieReachablePorts();

  // The listening port; 0 until start succeeds.
  std::uint16_t port() const;
  bool addressed() const;

  // The game server: the compiled-in address, port 5190, unless
  // VORNASK_GAME_SERVER=HOST:PORT names another. Throws when that cannot be resolved.
  static boost::asio::ip::tcp::endpoint gameServer();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace relay
