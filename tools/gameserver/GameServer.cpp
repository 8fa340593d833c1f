#include "tools/gameserver/GameServer.h"

#include "tools/gameserver/GameSession.h"

#include <vector>

namespace game {

using tcp = boost::asio::ip::tcp;

GameServer::GameServer(boost::asio::io_context& io, const tcp::endpoint& listen, std::ostream& log,
                       std::size_t queueLimit)
    : acceptor_(io, listen), log_(log), queueLimit_(queueLimit) {
  accept();
}

GameServer::~GameServer() {
  stop();
}

tcp::endpoint GameServer::endpoint() const {
  return acceptor_.local_endpoint();
}

void GameServer::stop() {
  boost::system::error_code ignored;
  acceptor_.close(ignored);
  const auto open = sessions_;
  for (const auto& entry : open) entry.second->close({});
}

void GameServer::broadcast(const Bytes& message) {
  // A send may drop a slow session, which leaves the map.
  std::vector<std::shared_ptr<GameSession>> open;
  for (const auto& entry : sessions_) open.push_back(entry.second);
  for (const auto& session : open) session->send(message);
}

void GameServer::left(unsigned player) {
  sessions_.erase(player);
}

void GameServer::accept() {
  acceptor_.async_accept([this](const boost::system::error_code& error, tcp::socket socket) {
    if (error == boost::asio::error::operation_aborted || !acceptor_.is_open()) return;
    if (!error) {
      const unsigned player = nextPlayer_++;
      auto session = std::make_shared<GameSession>(std::move(socket), player, *this);
      sessions_[player] = session;
      session->start();
    }
    accept();
  });
}

}  // namespace game
