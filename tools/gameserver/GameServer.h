#pragma once

#include "tools/gameserver/GameProtocol.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <map>
#include <memory>
#include <ostream>

namespace game {

class GameSession;

// The demo game server: answers pings, passes chat to everyone connected and
// prints one line per event. Runs on the caller's I/O context (one thread).
class GameServer {
 public:
  static constexpr std::size_t default_queue_limit = 1 << 20;

  // Listens at once; throws boost::system::system_error when it cannot.
  GameServer(boost::asio::io_context& io, const boost::asio::ip::tcp::endpoint& listen, std::ostream& log,
             std::size_t queueLimit = default_queue_limit);
  ~GameServer();
  GameServer(const GameServer&) = delete;
  GameServer& operator=(const GameServer&) = delete;

  boost::asio::ip::tcp::endpoint endpoint() const;
  // Stops accepting and closes every session.
  void stop();

  // For the sessions.
  void broadcast(const Bytes& message);
  void left(unsigned player);
  std::ostream& log() { return log_; }
  std::size_t queueLimit() const { return queueLimit_; }

 private:
  void accept();

  boost::asio::ip::tcp::acceptor acceptor_;
  std::ostream& log_;
  std::size_t queueLimit_;
  unsigned nextPlayer_ = 1;
  std::map<unsigned, std::shared_ptr<GameSession>> sessions_;
};

}  // namespace game
