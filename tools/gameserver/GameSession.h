#pragma once

#include "tools/gameserver/GameProtocol.h"

#include <boost/asio/ip/tcp.hpp>

#include <deque>
#include <memory>
#include <string>

namespace game {

class GameServer;

// One player's connection: cuts the incoming stream into messages, answers
// them, and sends from a queue capped at the server's limit; a reader that
// lets the queue pass the cap is dropped.
class GameSession : public std::enable_shared_from_this<GameSession> {
 public:
  GameSession(boost::asio::ip::tcp::socket socket, unsigned player, GameServer& server);

  // Sends the welcome and starts reading.
  void start();
  void send(const Bytes& message);
  // Closes the connection; a non-empty reason is printed.
  void close(const std::string& reason);

 private:
  void read();
  // Handles the whole messages received; false when one was malformed.
  bool takeMessages();
  bool handle(unsigned id, const unsigned char* payload, std::size_t size);
  void write();

  boost::asio::ip::tcp::socket socket_;
  unsigned player_;
  GameServer& server_;
  std::string peer_;
  Bytes received_;
  std::size_t receivedLength_ = 0;
  std::deque<Bytes> queue_;
  std::size_t queued_ = 0;
  bool writing_ = false;
  bool closed_ = false;
};

}  // namespace game
