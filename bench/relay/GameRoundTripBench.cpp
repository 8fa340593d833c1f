// Ping/pong (316/311) round trips of a native client with the demo game
// server: directly over TCP, through the relay in addressed mode, and as the
// movie's socket goes: a WebSocket through the player's bridge, then the relay.
#include "player/bridge/SocketBridge.h"
#include "relay/Proxy.h"
#include "tools/gameserver/GameServer.h"

#include <benchmark/benchmark.h>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using asio::ip::tcp;

namespace {

constexpr int pairs = 1000;

// The demo game server on its own thread.
class Server {
 public:
  Server() : server_(io_, tcp::endpoint(asio::ip::address_v4::loopback(), 0), log_) {
    thread_ = std::thread([this] { io_.run(); });
  }
  ~Server() {
    asio::post(io_, [this] { server_.stop(); });
    thread_.join();
  }
  std::uint16_t port() const { return server_.endpoint().port(); }

 private:
  asio::io_context io_;
  std::ostringstream log_;
  game::GameServer server_;
  std::thread thread_;
};

enum class Path { Direct, Relay, BridgeRelay };

// The first `size` bytes of the next WebSocket messages.
void readMessages(websocket::stream<tcp::socket>& ws, unsigned char* out, std::size_t size) {
  for (std::size_t got = 0; got < size;) {
    beast::flat_buffer buffer;
    ws.read(buffer);
    const std::size_t n = std::min(size - got, buffer.size());
    std::memcpy(out + got, buffer.data().data(), n);
    got += n;
  }
}

void RoundTrip(benchmark::State& state, Path path) {
  std::vector<double> rtt;
  {
    Server server;
    const auto loopback = asio::ip::address_v4::loopback();
    relay::Proxy proxy(tcp::endpoint(loopback, server.port()), 0);
    player::SocketBridge bridge("bench://page");
    asio::io_context io;
    websocket::stream<tcp::socket> ws(io);
    tcp::socket& socket = ws.next_layer();
    if (path == Path::Direct) {
      socket.connect(tcp::endpoint(loopback, server.port()));
    } else {
      proxy.start(true);
      if (path == Path::Relay) {
        socket.connect(tcp::endpoint(loopback, proxy.port()));
      } else {
        socket.connect(tcp::endpoint(loopback, bridge.port()));
        ws.set_option(websocket::stream_base::decorator(
            [](websocket::request_type& r) { r.set(beast::http::field::origin, "bench://page"); }));
        ws.handshake("127.0.0.1", "/" + bridge.secret() + "/" + std::to_string(proxy.port()));
        ws.binary(true);
      }
    }
    socket.set_option(tcp::no_delay(true));
    const auto send = [&](const void* data, std::size_t size) {
      if (path == Path::BridgeRelay)
        ws.write(asio::buffer(data, size));
      else
        asio::write(socket, asio::buffer(data, size));
    };
    const auto receive = [&](unsigned char* out, std::size_t size) {
      if (path == Path::BridgeRelay)
        readMessages(ws, out, size);
      else
        asio::read(socket, asio::buffer(out, size));
    };
    if (path != Path::Direct) {
      std::string header = "  127.0.0.1:" + std::to_string(server.port());
      header[0] = static_cast<char>(header.size() - 2);
      header[1] = 0;
      send(header.data(), header.size());
    }
    unsigned char welcome[6];
    receive(welcome, sizeof welcome);
    unsigned char ping[4 + game::ping_size] = {0x3C, 0x11, game::ping_size, 0};
    unsigned char pong[4 + game::pong_size];
    for (auto _ : state) {
      for (int i = 0; i < pairs; ++i) {
        ping[4] = static_cast<unsigned char>(i);
        const auto start = std::chrono::steady_clock::now();
        send(ping, sizeof ping);
        receive(pong, sizeof pong);
        rtt.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        if (pong[4] != ping[4]) state.SkipWithError("pong out of order");
      }
    }
  }
  std::sort(rtt.begin(), rtt.end());
  state.counters["rtt_p50_us"] = rtt[rtt.size() / 2];
  state.counters["rtt_p99_us"] = rtt[rtt.size() * 99 / 100];
}

}  // namespace

BENCHMARK_CAPTURE(RoundTrip, direct, Path::Direct)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(RoundTrip, relay, Path::Relay)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK_CAPTURE(RoundTrip, bridge_relay, Path::BridgeRelay)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

BENCHMARK_MAIN();
