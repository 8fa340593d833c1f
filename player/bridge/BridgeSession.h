#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/websocket/stream.hpp>

#include <atomic>
#include <list>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace player {

class BridgeSession;

// What the bridge's sessions share; touched on the bridge's thread only,
// except the atomic count.
struct BridgeShared {
  std::string secret;
  std::string origin;
  std::set<BridgeSession*> open;
  // Sessions that have not proved the secret yet, oldest first.
  std::list<BridgeSession*> unproven;
  // Ports a page may reach; none given: every port.
  std::optional<std::set<std::uint16_t>> allowedPorts;
  std::atomic<std::size_t> count{0};
  // Of `count`: aborted, their sockets closed, their handlers not yet run.
  std::size_t aborted = 0;
};

// One page connection: the HTTP upgrade request is checked, 127.0.0.1:PORT is
// connected, then bytes are pumped both ways, one buffer in flight per
// direction, so a slow side holds the other back instead of filling memory.
class BridgeSession : public std::enable_shared_from_this<BridgeSession> {
 public:
  BridgeSession(boost::asio::ip::tcp::socket socket, BridgeShared& shared);
  ~BridgeSession();
  BridgeSession(const BridgeSession&) = delete;
  BridgeSession& operator=(const BridgeSession&) = delete;

  void start();
  // Closes both sockets; the pending operations end with errors.
  void abort();
  // Still open and not yet proven.
  bool unproven() const { return unproven_ != shared_.unproven.end(); }

 private:
  void onRequest(const boost::system::error_code& error);
  void refuse();
  void onUpstream(const boost::system::error_code& error);
  void onAccepted(const boost::system::error_code& error);
  void readUpstream();
  void readPage();
  void upstreamEnded();
  void pageEnded();
  void closeUpstream();
  void proven();

  BridgeShared& shared_;
  boost::beast::websocket::stream<boost::beast::tcp_stream> page_;
  boost::asio::ip::tcp::socket upstream_;
  boost::beast::flat_buffer buffer_;
  std::optional<boost::beast::http::request_parser<boost::beast::http::empty_body>> parser_;
  std::optional<boost::beast::http::response<boost::beast::http::string_body>> refusal_;
  std::vector<unsigned char> toPage_, toUpstream_;
  std::list<BridgeSession*>::iterator unproven_;
  boost::asio::steady_timer deadline_;
  bool aborted_ = false;
  bool upstreamFailed_ = false;
  bool ending_ = false;
};

}  // namespace player
