#pragma once

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace bridgetest {

using Bytes = std::vector<unsigned char>;
namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

// The page's side: a WebSocket client whose operations all give up after a time-out.
class BridgeClient {
 public:
  BridgeClient() : ws(io) {}

  // Connects to the bridge and asks for `target`; the HTTP status of the answer (101 when upgraded, 0 on
  // failure).
  int open(std::uint16_t port, const std::string& target, const std::string& origin);
  void send(const Bytes& bytes, bool binary = true);
  // Reads messages until n bytes came, the time is up or the stream ends.
  Bytes receive(std::size_t n, int timeoutMs = 10000);
  // Sends `bytes` while receiving as many back.
  Bytes exchange(const Bytes& bytes, int timeoutMs = 20000);
  // True when the bridge ended the connection, with no more data, within the time.
  bool endedWithin(int timeoutMs = 5000);
  void close();

  asio::io_context io;
  websocket::stream<beast::tcp_stream> ws;
  bool allBinary = true;

 private:
  void readInto(Bytes& out, std::size_t n, boost::system::error_code& error);
  void run(int timeoutMs, const bool& done);
  // Runs until the operations end (true) or the time is up and they are cancelled (false).
  bool runAll(int timeoutMs);
  beast::flat_buffer buffer_;
};

// A loopback echo server on its own thread; it accepts only once started.
class EchoServer {
 public:
  EchoServer();
  ~EchoServer();
  std::uint16_t port() const { return port_; }
  void start();
  std::size_t accepted() const { return accepted_; }

 private:
  void accept();
  asio::io_context io_;
  tcp::acceptor acceptor_;
  std::uint16_t port_ = 0;
  std::atomic<std::size_t> accepted_{0};
  std::thread thread_;
};

}  // namespace bridgetest
