#include "player/bridge/BridgeRequest.h"
#include "player/bridge/SocketBridge.h"
#include "tests/common/Flood.h"
#include "tests/common/Processes.h"
#include "tests/common/WaitFor.h"
#include "tests/player/bridge/BridgeClient.h"
#include "tests/relay/RelayPeer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <regex>

using namespace bridgetest;
using player::BridgeRequest;
using player::SocketBridge;
using relaytest::pattern;

namespace {

const std::string page_origin = "vornask://game";

std::string target(const SocketBridge& bridge, const std::string& port) {
  return "/" + bridge.secret() + "/" + port;
}

std::string target(const SocketBridge& bridge, std::uint16_t port) {
  return target(bridge, std::to_string(port));
}

// A page joined through the bridge to a connection the test's server accepted.
void join(BridgeClient& page, const SocketBridge& bridge, relaytest::Upstream& upstream,
          relaytest::Peer& server) {
  ASSERT_EQ(page.open(bridge.port(), target(bridge, upstream.endpoint().port()), page_origin), 101);
  ASSERT_TRUE(upstream.accept(server));
}

// A port on which nothing listens.
std::uint16_t closedPort() {
  asio::io_context io;
  tcp::acceptor probe(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  return probe.local_endpoint().port();
}

}  // namespace

TEST(BridgeRequest, TargetNamesTheSecretAndAPortFromOneTo65535) {
  const std::string s(32, 'a');
  EXPECT_EQ(BridgeRequest::targetPort("/" + s + "/5190", s), 5190);
  EXPECT_EQ(BridgeRequest::targetPort("/" + s + "/1", s), 1);
  EXPECT_EQ(BridgeRequest::targetPort("/" + s + "/65535", s), 65535);
  for (const std::string bad :
       {"/0", "/65536", "/99999", "/123456", "/", "", "/-1", "/+80", "/80x", "/8 0", "/80/", "/0x50"})
    EXPECT_EQ(BridgeRequest::targetPort("/" + s + bad, s), 0) << bad;
  EXPECT_EQ(BridgeRequest::targetPort("/" + std::string(31, 'a') + "b/5190", s), 0);
  EXPECT_EQ(BridgeRequest::targetPort("/" + s.substr(1) + "/5190", s), 0);
  EXPECT_EQ(BridgeRequest::targetPort("//5190", s), 0);
}

TEST(SocketBridge, ListensOnLoopbackWithARandomSecretPerBridge) {
  SocketBridge a(page_origin), b(page_origin);
  EXPECT_NE(a.port(), 0);
  EXPECT_NE(a.port(), b.port());
  EXPECT_TRUE(std::regex_match(a.secret(), std::regex("[0-9a-f]{32}")));
  EXPECT_NE(a.secret(), b.secret());
  EXPECT_EQ(a.proxyUrl(5190), "ws://127.0.0.1:" + std::to_string(a.port()) + "/" + a.secret() + "/5190");
  EXPECT_EQ(a.connectionCount(), 0u);
}

TEST(SocketBridge, CarriesEveryByteValueAndAMebibyteEachWay) {
  EchoServer echo;
  echo.start();
  SocketBridge bridge(page_origin);
  BridgeClient page;
  ASSERT_EQ(page.open(bridge.port(), target(bridge, echo.port()), page_origin), 101);

  Bytes every(256);
  for (int i = 0; i < 256; ++i) every[i] = static_cast<unsigned char>(i);
  EXPECT_EQ(page.exchange(every), every);
  const Bytes big = pattern(1 << 20);
  EXPECT_EQ(page.exchange(big), big);
  // Text frames from the page are carried as their bytes too; the page always gets binary.
  const Bytes text = {'h', 'i', ' ', 0xD0, 0xAF};
  page.send(text, false);
  EXPECT_EQ(page.receive(text.size()), text);
  EXPECT_TRUE(page.allBinary);
  EXPECT_EQ(bridge.connectionCount(), 1u);
}

TEST(SocketBridge, HoldsWhatThePageSendsBeforeTheUpstreamAccepts) {
  relaytest::Upstream upstream;
  SocketBridge bridge(page_origin);
  BridgeClient page;
  ASSERT_EQ(page.open(bridge.port(), target(bridge, upstream.endpoint().port()), page_origin), 101);
  const Bytes early = pattern(3000, 7);
  page.send(early);
  page.send(early);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  relaytest::Peer server;
  ASSERT_TRUE(upstream.accept(server));
  Bytes both = early;
  both.insert(both.end(), early.begin(), early.end());
  EXPECT_EQ(server.read(both.size()), both);
  server.write(early);
  EXPECT_EQ(page.receive(early.size()), early);
}

TEST(SocketBridge, EachSideClosesWhenTheOtherDoes) {
  relaytest::Upstream upstream;
  SocketBridge bridge(page_origin);
  {
    BridgeClient page;
    relaytest::Peer server;
    ASSERT_NO_FATAL_FAILURE(join(page, bridge, upstream, server));
    page.send({1, 2, 3});
    page.close();
    EXPECT_EQ(server.read(3), Bytes({1, 2, 3}));
    EXPECT_TRUE(server.closedWithin());
  }
  {
    BridgeClient page;
    relaytest::Peer server;
    ASSERT_NO_FATAL_FAILURE(join(page, bridge, upstream, server));
    server.write({9, 8, 7});
    server.socket.shutdown(tcp::socket::shutdown_both);
    server.socket.close();
    EXPECT_EQ(page.receive(3), Bytes({9, 8, 7}));
    EXPECT_TRUE(page.endedWithin());
    EXPECT_EQ(page.ws.reason().code, websocket::close_code::normal);
  }
  EXPECT_TRUE(vtest::waitFor([&] { return bridge.connectionCount() == 0; }, 5000));
}

TEST(SocketBridge, ARefusedConnectionClosesThePage) {
  SocketBridge bridge(page_origin);
  BridgeClient page;
  const int status = page.open(bridge.port(), target(bridge, closedPort()), page_origin);
  if (status == 101) {
    EXPECT_TRUE(page.endedWithin());
  }
  EXPECT_TRUE(vtest::waitFor([&] { return bridge.connectionCount() == 0; }, 5000));
}

TEST(SocketBridge, RefusesAnotherSecretOriginOrPortWith403) {
  relaytest::Upstream upstream;
  SocketBridge bridge(page_origin);
  const std::string port = std::to_string(upstream.endpoint().port());
  const std::string wrongSecret = "/" + std::string(32, '0') + "/" + port;
  struct Case {
    std::string target, origin;
  };
  for (const Case& c :
       {Case{wrongSecret, page_origin}, Case{target(bridge, port), "http://evil.example"},
        Case{target(bridge, port), ""}, Case{target(bridge, "gamehost"), page_origin},
        Case{target(bridge, "0"), page_origin}, Case{target(bridge, "65536"), page_origin},
        Case{"/" + bridge.secret(), page_origin}, Case{target(bridge, port) + "?", page_origin}}) {
    BridgeClient page;
    EXPECT_EQ(page.open(bridge.port(), c.target, c.origin), 403) << c.target << " " << c.origin;
  }
  relaytest::Peer server;
  EXPECT_FALSE(upstream.accept(server, 200));
}

TEST(SocketBridge, DestroyedWithOpenConnectionsEndsThem) {
  EchoServer echo;
  echo.start();
  auto bridge = std::make_unique<SocketBridge>(page_origin);
  std::vector<std::unique_ptr<BridgeClient>> pages;
  for (int i = 0; i < 5; ++i) {
    pages.push_back(std::make_unique<BridgeClient>());
    ASSERT_EQ(pages.back()->open(bridge->port(), target(*bridge, echo.port()), page_origin), 101);
    ASSERT_EQ(pages.back()->exchange({1}), Bytes({1}));
  }
  auto halfOpen = std::make_unique<relaytest::Peer>();  // connected, never sends a request
  halfOpen->connect(bridge->port());
  EXPECT_TRUE(vtest::waitFor([&] { return bridge->connectionCount() == 6; }, 5000));
  bridge.reset();
  for (auto& page : pages) EXPECT_TRUE(page->endedWithin());
  EXPECT_TRUE(halfOpen->closedWithin());
}

TEST(SocketBridge, ManyConnectionsAtOnceKeepTheirOwnBytes) {
  EchoServer echo;
  echo.start();
  SocketBridge bridge(page_origin);
  const int n = static_cast<int>(SocketBridge::maxConnections);
  std::vector<std::unique_ptr<BridgeClient>> pages;
  for (int i = 0; i < n; ++i) {
    pages.push_back(std::make_unique<BridgeClient>());
    ASSERT_EQ(pages.back()->open(bridge.port(), target(bridge, echo.port()), page_origin), 101);
  }
  for (int i = 0; i < n; ++i) pages[i]->send(pattern(10000, i + 100));
  for (int i = 0; i < n; ++i) EXPECT_EQ(pages[i]->receive(10000), pattern(10000, i + 100)) << i;
  EXPECT_EQ(bridge.connectionCount(), std::size_t(n));
  EXPECT_EQ(echo.accepted(), std::size_t(n));
  for (auto& page : pages) page->close();
  EXPECT_TRUE(vtest::waitFor([&] { return bridge.connectionCount() == 0; }, 5000));
}

TEST(SocketBridge, APageThatDoesNotReadHoldsTheUpstreamBack) {
  relaytest::Upstream upstream;
  SocketBridge bridge(page_origin);
  BridgeClient page;
  relaytest::Peer server;
  ASSERT_NO_FATAL_FAILURE(join(page, bridge, upstream, server));
  // Everything the server can write while the page reads nothing sits in
  // socket buffers and one bridge buffer, not in a growing queue.
  server.socket.non_blocking(true);
  const Bytes block = pattern(1 << 16);
  std::size_t written = 0;
  const std::size_t limit = std::size_t(256) << 20;
  int idle = 0;
  while (written < limit && idle < 50) {
    boost::system::error_code error;
    // A short write goes on where it stopped, so the stream repeats `block` whole.
    const std::size_t at = written % block.size();
    const std::size_t n = server.socket.write_some(asio::buffer(block.data() + at, block.size() - at), error);
    written += n;
    if (error == asio::error::would_block) {
      ++idle;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } else {
      ASSERT_FALSE(error) << error.message();
      idle = 0;
    }
  }
  EXPECT_LT(written, std::size_t(64) << 20);
  server.socket.non_blocking(false);
  // The data is all still there, in order. Messages end wherever the bridge's reads did.
  const Bytes received = page.receive(written, 60000);
  ASSERT_EQ(received.size(), written);
  for (std::size_t i = 0; i < written; i += block.size()) {
    const std::size_t n = std::min(block.size(), written - i);
    ASSERT_TRUE(std::equal(block.begin(), block.begin() + n, received.begin() + i)) << "at " << i;
  }
}

TEST(SocketBridge, JoinsOnlyTheAllowedPorts) {
  relaytest::Upstream allowed, other;
  SocketBridge bridge(page_origin);
  bridge.allowPorts({allowed.endpoint().port()});
  struct Case {
    std::uint16_t port;
    int status;
  };
  for (const Case& c : {Case{other.endpoint().port(), 403}, Case{allowed.endpoint().port(), 101}}) {
    BridgeClient page;
    EXPECT_EQ(page.open(bridge.port(), target(bridge, c.port), page_origin), c.status) << c.port;
  }
  relaytest::Peer server;
  EXPECT_TRUE(allowed.accept(server));
  EXPECT_FALSE(other.accept(server, 200));
  bridge.allowPorts({});
  BridgeClient none;
  EXPECT_EQ(none.open(bridge.port(), target(bridge, allowed.endpoint().port()), page_origin), 403);
}

TEST(SocketBridge, AConnectionThatDoesNotFinishItsHandshakeIsClosedAfterThreeSeconds) {
  SocketBridge bridge(page_origin);
  relaytest::Peer silent, halfRequest;
  silent.connect(bridge.port());
  halfRequest.connect(bridge.port());
  halfRequest.write(relaytest::Bytes{'G', 'E', 'T', ' '});
  ASSERT_TRUE(vtest::waitFor([&] { return bridge.connectionCount() == 2; }, 5000));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(silent.closedWithin(10000));
  EXPECT_TRUE(halfRequest.closedWithin(2000));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(2000));
  EXPECT_TRUE(vtest::waitFor([&] { return bridge.connectionCount() == 0; }, 5000));
}

TEST(SocketBridge, FiveThousandConnectionsOfAnotherProcessLeaveFewDescriptorsAndTheGameWorking) {
  EchoServer echo;
  echo.start();
  SocketBridge bridge(page_origin);
  const std::size_t before = vtest::descriptorTargets().size();
  vtest::ConnectionFlood flood(bridge.port(), 5000);
  ASSERT_TRUE(flood.started()) << flood.problem();
  ASSERT_TRUE(flood.waitConnected(60000)) << flood.problem();
  // Every connection was accepted and most were closed again at once.
  EXPECT_TRUE(
      vtest::waitFor([&] { return bridge.connectionCount() <= SocketBridge::maxConnections; }, 10000));
  EXPECT_LE(vtest::descriptorTargets().size(), before + SocketBridge::maxConnections + 8);
  BridgeClient game;
  ASSERT_EQ(game.open(bridge.port(), target(bridge, echo.port()), page_origin), 101);
  EXPECT_EQ(game.exchange(pattern(5000, 7)), pattern(5000, 7));
  // The flood's connections end by the deadline; the game's stays.
  EXPECT_TRUE(vtest::waitFor([&] { return bridge.connectionCount() == 1; }, 10000));
  EXPECT_EQ(game.exchange(pattern(100, 3)), pattern(100, 3));
}
