#pragma once

#include <boost/asio.hpp>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace relaytest {

using Bytes = std::vector<unsigned char>;
namespace asio = boost::asio;
using asio::ip::tcp;

// One blocking test connection with timed reads.
class Peer {
 public:
  Peer() : socket(io) {}

  void connect(std::uint16_t port) {
    socket.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port));
    socket.set_option(tcp::no_delay(true));
  }
  void write(const Bytes& bytes) { asio::write(socket, asio::buffer(bytes)); }
  void write(const unsigned char* data, std::size_t n) { asio::write(socket, asio::buffer(data, n)); }

  // Up to n bytes, fewer on time-out or end of stream.
  Bytes read(std::size_t n, int timeoutMs = 5000) {
    Bytes out(n);
    std::size_t got = 0;
    boost::system::error_code error = asio::error::would_block;
    asio::async_read(socket, asio::buffer(out), [&](const boost::system::error_code& e, std::size_t k) {
      error = e;
      got = k;
    });
    run(timeoutMs, error);
    out.resize(got);
    lastError = error;
    return out;
  }

  // True when the peer closed without sending anything more.
  bool closedWithin(int timeoutMs = 5000) {
    unsigned char byte;
    boost::system::error_code error = asio::error::would_block;
    std::size_t got = 0;
    socket.async_read_some(asio::buffer(&byte, 1), [&](const boost::system::error_code& e, std::size_t k) {
      error = e;
      got = k;
    });
    run(timeoutMs, error);
    return got == 0 && (error == asio::error::eof || error == asio::error::connection_reset);
  }

  asio::io_context io;
  tcp::socket socket;
  boost::system::error_code lastError;

 private:
  void run(int timeoutMs, boost::system::error_code& error) {
    io.restart();
    io.run_for(std::chrono::milliseconds(timeoutMs));
    if (error == asio::error::would_block) {
      socket.cancel();
      io.restart();
      io.run();
    }
  }
};

// The test's game server: a listening socket on a free loopback port.
class Upstream {
 public:
  Upstream() : acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0)) {}

  tcp::endpoint endpoint() const { return acceptor.local_endpoint(); }

  // Accepts the next relayed connection into peer; false on time-out.
  bool accept(Peer& peer, int timeoutMs = 5000) {
    bool done = false;
    acceptor.async_accept(peer.socket, [&](const boost::system::error_code& e) { done = !e; });
    io.restart();
    io.run_for(std::chrono::milliseconds(timeoutMs));
    if (!done) {
      acceptor.cancel();
      io.restart();
      io.run();
    }
    return done;
  }

  asio::io_context io;
  tcp::acceptor acceptor;
};

// A framed message of class k with the given payload.
inline Bytes message(unsigned k, unsigned id, const Bytes& payload) {
  Bytes out(6);
  unsigned char header[6];
  const unsigned word = (k << 12) | id;
  header[0] = static_cast<unsigned char>(word);
  header[1] = static_cast<unsigned char>(word >> 8);
  static const unsigned field[16] = {0, 2, 0, 0, 0, 0, 0, 0, 1, 1, 2, 4, 4, 0, 0, 0};
  const unsigned width = field[k & 15];
  for (unsigned i = 0; i < width && i < 4; ++i)
    header[2 + i] = static_cast<unsigned char>(payload.size() >> (8 * i));
  out.assign(header, header + 2 + (width < 4 ? width : 4));
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

inline Bytes pattern(std::size_t n, unsigned seed = 1) {
  Bytes out(n);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<unsigned char>(x >> 24);
  }
  return out;
}

}  // namespace relaytest
