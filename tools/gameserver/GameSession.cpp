#include "tools/gameserver/GameSession.h"

#include "relay/Framing.h"
#include "tools/gameserver/GameServer.h"

#include <boost/asio/write.hpp>

namespace game {

using tcp = boost::asio::ip::tcp;

namespace {
constexpr std::size_t read_chunk = 16 * 1024;
}

GameSession::GameSession(tcp::socket socket, unsigned player, GameServer& server)
    : socket_(std::move(socket)), player_(player), server_(server), received_(read_chunk + message_max) {
  boost::system::error_code error;
  const tcp::endpoint remote = socket_.remote_endpoint(error);
  peer_ = error ? "?" : remote.address().to_string() + ":" + std::to_string(remote.port());
  socket_.set_option(tcp::no_delay(true), error);
}

void GameSession::start() {
  server_.log() << "game-server: player " << player_ << " joined from " << peer_ << std::endl;
  send(welcome(player_));
  read();
}

void GameSession::read() {
  socket_.async_read_some(boost::asio::buffer(received_.data() + receivedLength_, read_chunk),
                          [self = shared_from_this()](const boost::system::error_code& error, std::size_t n) {
                            if (self->closed_) return;
                            if (error) {
                              self->close({});
                              return;
                            }
                            self->receivedLength_ += n;
                            if (self->takeMessages()) self->read();
                          });
}

bool GameSession::takeMessages() {
  std::size_t at = 0;
  while (receivedLength_ - at >= 2) {
    const relay::framing::Frame frame = relay::framing::peek(received_.data() + at, receivedLength_ - at);
    if (!frame.known) break;
    if (frame.size > message_max) {
      close("malformed frame: message " + std::to_string(frame.id) + " declares " +
            std::to_string(frame.size) + " bytes, at most " + std::to_string(message_max) + " are taken");
      return false;
    }
    if (frame.size > receivedLength_ - at) break;
    const unsigned char* payload = received_.data() + at + frame.headerSize;
    if (!handle(frame.id, payload, frame.size - frame.headerSize)) return false;
    at += frame.size;
  }
  // What is left is less than one message, so the next read always fits.
  std::copy(received_.begin() + at, received_.begin() + receivedLength_, received_.begin());
  receivedLength_ -= at;
  return !closed_;
}

bool GameSession::handle(unsigned id, const unsigned char* payload, std::size_t size) {
  if (id == ping_id) {
    if (size < ping_size) {
      close("malformed frame: ping (316) with " + std::to_string(size) + " payload bytes, at least " +
            std::to_string(ping_size) + " expected");
      return false;
    }
    send(pong(payload, relay::framing::utcMillis()));
  } else if (id == chat_id) {
    if (size == 0 || size > chat_max) {
      close("malformed frame: chat (500) with " + std::to_string(size) + " bytes, 1 to " +
            std::to_string(chat_max) + " expected");
      return false;
    }
    server_.broadcast(chatLine(player_, payload, size));
  }
  // Other kinds are not part of the demo game and are ignored.
  return !closed_;
}

void GameSession::send(const Bytes& message) {
  if (closed_) return;
  if (queued_ + message.size() > server_.queueLimit()) {
    close("slow reader, " + std::to_string(queued_) + " bytes queued; dropped");
    return;
  }
  queue_.push_back(message);
  queued_ += message.size();
  if (!writing_) write();
}

void GameSession::write() {
  writing_ = true;
  boost::asio::async_write(socket_, boost::asio::buffer(queue_.front()),
                           [self = shared_from_this()](const boost::system::error_code& error, std::size_t) {
                             if (self->closed_) return;
                             if (error) {
                               self->close({});
                               return;
                             }
                             self->queued_ -= self->queue_.front().size();
                             self->queue_.pop_front();
                             if (self->queue_.empty())
                               self->writing_ = false;
                             else
                               self->write();
                           });
}

void GameSession::close(const std::string& reason) {
  if (closed_) return;
  closed_ = true;
  if (reason.empty())
    server_.log() << "game-server: player " << player_ << " left" << std::endl;
  else
    server_.log() << "game-server: player " << player_ << " (" << peer_ << "): " << reason << std::endl;
  boost::system::error_code ignored;
  socket_.shutdown(tcp::socket::shutdown_both, ignored);
  socket_.close(ignored);
  queue_.clear();
  queued_ = 0;
  server_.left(player_);
}

}  // namespace game
