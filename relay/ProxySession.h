#pragma once

#include "relay/Framing.h"
#include "relay/OperationSlot.h"
#include "relay/SessionSide.h"

#include <boost/asio/ip/tcp.hpp>

#include <memory>
#include <string>

namespace relay {

// One accepted client and its upstream connection. Owned by its pending
// operations through the intrusive count; all its work runs on the relay thread.
class ProxySession : public mstd::reference_counter<ProxySession> {
 public:
  // Bytes waiting for one peer above which the other peer is no longer read.
  static constexpr std::uint64_t high_water = 4u << 20;
  static constexpr std::uint64_t low_water = 1u << 20;
  // Larger declared messages end the session.
  static constexpr std::uint64_t max_message = 255u << 20;

  ProxySession(boost::asio::io_context& io, SocketPtr client, bool addressed);
  ~ProxySession();

  // Connects upstream: to `fixed` in fixed mode, else to the destination the client names.
  void start(const boost::asio::ip::tcp::endpoint& fixed);

  // Splits a destination header's text at its first ':' into host and service.
  // False for text the resolver would misread: a NUL byte, or a numeric port
  // above 65535 (which would wrap to another port).
  static bool splitDestination(const std::string& text, std::string& host, std::string& service);

 private:
  using Ptr = boost::intrusive_ptr<ProxySession>;

  void readHeaderLength();
  void readHeaderText(std::size_t length);
  void resolve(const std::string& text);
  void connect(const boost::asio::ip::tcp::endpoint& destination);
  void connected(const boost::system::error_code& error);

  SessionSide& other(SessionSide& side) { return &side == &client_ ? server_ : client_; }
  framing::Direction direction(SessionSide& to) {
    return &to == &server_ ? framing::Direction::ClientToServer : framing::Direction::ServerToClient;
  }

  void receive(SessionSide& from);
  void received(SessionSide& from, const boost::system::error_code& error, std::size_t n);
  bool relay(SessionSide& from, SessionSide& to, std::size_t n);
  bool appendToFrame(SessionSide& to, const unsigned char* data, std::size_t n);
  bool assemble(SessionSide& to, const unsigned char* message, std::size_t size);
  void send(SessionSide& to);
  void sent(SessionSide& to, const boost::system::error_code& error, std::size_t m);
  void shutdownBoth();

  SessionSide client_;
  SessionSide server_;
  bool addressed_;
  OperationSlot connectSlot_;  // the header reads, the resolve and the connect, one at a time
  unsigned char header_[2] = {};
  std::string destination_;
  std::unique_ptr<boost::asio::ip::tcp::resolver> resolver_;
};

}  // namespace relay
