#include "tests/player/bridge/BridgeClient.h"

#include <memory>

namespace bridgetest {

namespace http = beast::http;

int BridgeClient::open(std::uint16_t port, const std::string& target, const std::string& origin) {
  bool done = false;
  boost::system::error_code error;
  auto& stream = beast::get_lowest_layer(ws);
  stream.async_connect(tcp::endpoint(asio::ip::address_v4::loopback(), port),
                       [&](const boost::system::error_code& e) {
                         error = e;
                         done = true;
                       });
  run(5000, done);
  if (!done || error) return 0;
  ws.set_option(websocket::stream_base::decorator(
      [origin](websocket::request_type& request) { request.set(http::field::origin, origin); }));
  websocket::response_type response;
  done = false;
  ws.async_handshake(response, "127.0.0.1:" + std::to_string(port), target,
                     [&](const boost::system::error_code& e) {
                       error = e;
                       done = true;
                     });
  run(5000, done);
  if (!done) return 0;
  ws.binary(true);
  return response.result_int();
}

void BridgeClient::send(const Bytes& bytes, bool binary) {
  ws.binary(binary);
  bool done = false;
  ws.async_write(asio::buffer(bytes), [&](const boost::system::error_code&, std::size_t) { done = true; });
  run(10000, done);
  ws.binary(true);
}

void BridgeClient::readInto(Bytes& out, std::size_t n, boost::system::error_code& error) {
  if (out.size() >= n) return;
  ws.async_read(buffer_, [this, &out, n, &error](const boost::system::error_code& e, std::size_t) {
    if (e) {
      error = e;
      return;
    }
    allBinary = allBinary && ws.got_binary();
    const auto data = buffer_.data();
    const auto* begin = static_cast<const unsigned char*>(data.data());
    out.insert(out.end(), begin, begin + data.size());
    buffer_.consume(data.size());
    readInto(out, n, error);
  });
}

Bytes BridgeClient::receive(std::size_t n, int timeoutMs) {
  Bytes out;
  boost::system::error_code error;
  readInto(out, n, error);
  runAll(timeoutMs);
  return out;
}

Bytes BridgeClient::exchange(const Bytes& bytes, int timeoutMs) {
  Bytes out;
  boost::system::error_code error;
  ws.async_write(asio::buffer(bytes), [](const boost::system::error_code&, std::size_t) {});
  readInto(out, bytes.size(), error);
  runAll(timeoutMs);
  return out;
}

bool BridgeClient::endedWithin(int timeoutMs) {
  Bytes out;
  boost::system::error_code error;
  readInto(out, 1, error);
  return runAll(timeoutMs) && out.empty() && error;
}

void BridgeClient::close() {
  bool done = false;
  ws.async_close(websocket::close_code::normal, [&](const boost::system::error_code&) { done = true; });
  run(5000, done);
}

bool BridgeClient::runAll(int timeoutMs) {
  io.restart();
  io.run_for(std::chrono::milliseconds(timeoutMs));
  if (io.stopped()) return true;
  beast::get_lowest_layer(ws).cancel();
  io.restart();
  io.run();
  return false;
}

void BridgeClient::run(int timeoutMs, const bool& done) {
  io.restart();
  io.run_for(std::chrono::milliseconds(timeoutMs));
  if (!done) {
    beast::get_lowest_layer(ws).cancel();
    io.restart();
    io.run();
  }
}

namespace {

// Echoes one connection until it closes.
struct Echo : std::enable_shared_from_this<Echo> {
  explicit Echo(tcp::socket s) : socket(std::move(s)), data(64 * 1024) {}
  void read() {
    socket.async_read_some(asio::buffer(data),
                           [self = shared_from_this()](const boost::system::error_code& e, std::size_t n) {
                             if (e) return;
                             asio::async_write(self->socket, asio::buffer(self->data.data(), n),
                                               [self](const boost::system::error_code& w, std::size_t) {
                                                 if (!w) self->read();
                                               });
                           });
  }
  tcp::socket socket;
  Bytes data;
};

}  // namespace

EchoServer::EchoServer() : acceptor_(io_, tcp::endpoint(asio::ip::address_v4::loopback(), 0)) {
  port_ = acceptor_.local_endpoint().port();
}

EchoServer::~EchoServer() {
  io_.stop();
  if (thread_.joinable()) thread_.join();
}

void EchoServer::start() {
  accept();
  thread_ = std::thread([this] { io_.run(); });
}

void EchoServer::accept() {
  acceptor_.async_accept([this](const boost::system::error_code& e, tcp::socket socket) {
    if (e) return;
    ++accepted_;
    std::make_shared<Echo>(std::move(socket))->read();
    accept();
  });
}

}  // namespace bridgetest
