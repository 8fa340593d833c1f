#include "relay/Proxy.h"
#include "relay/ProxySession.h"
#include "tests/relay/RelayPeer.h"

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

using namespace relay;

using namespace relaytest;

namespace {

std::int64_t nowMillis() {
  const boost::posix_time::ptime epoch(boost::gregorian::date(1970, 1, 1));
  return (boost::posix_time::microsec_clock::universal_time() - epoch).total_milliseconds();
}

std::int64_t readTime(const Bytes& b, std::size_t at) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | b[at + i];
  return static_cast<std::int64_t>(v);
}

// A fixed-mode relay on a free port in front of a test game server, with one
// session open: client <-> relay <-> server.
class RelayFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    proxy.reset(new Proxy(upstream.endpoint(), 0));
    proxy->start(false);
    ASSERT_NE(proxy->port(), 0);
    client.connect(proxy->port());
    ASSERT_TRUE(upstream.accept(server));
  }

  Upstream upstream;
  std::unique_ptr<Proxy> proxy;
  Peer client;
  Peer server;
};

}  // namespace

TEST_F(RelayFixture, SplitMessageIsForwardedWholeOnlyWhenComplete) {
  const Bytes msg = message(1, 77, pattern(300));
  client.write(msg.data(), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  client.write(msg.data() + 1, 2);  // header word and half the length field
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  client.write(msg.data() + 3, 100);
  EXPECT_TRUE(server.read(1, 150).empty());
  client.write(msg.data() + 103, msg.size() - 103);
  EXPECT_EQ(server.read(msg.size()), msg);
}

TEST_F(RelayFixture, ManyMessagesInOneReceiveArriveInOrder) {
  Bytes all;
  for (unsigned i = 0; i < 500; ++i) {
    const Bytes m = message(i % 2 ? 8 : 10, 1000 + i, pattern(i % 200, i));
    all.insert(all.end(), m.begin(), m.end());
  }
  server.write(all);
  EXPECT_EQ(client.read(all.size()), all);
}

TEST_F(RelayFixture, EveryLengthClass) {
  const std::size_t fixed[16] = {0, 0, 2, 8, 12, 8, 16, 24, 0, 0, 0, 0, 0, 0, 0, 0};
  const std::size_t variable[16] = {0, 1000, 0, 0, 0, 0, 0, 0, 255, 3, 65535, 70000, 1, 0, 0, 0};
  Bytes all;
  for (unsigned k = 0; k < 16; ++k) {
    const Bytes m = message(k, 100 + k, pattern(fixed[k] + variable[k], k));
    all.insert(all.end(), m.begin(), m.end());
  }
  // In uneven pieces, so that messages straddle receives.
  for (std::size_t at = 0; at < all.size();) {
    const std::size_t n = std::min<std::size_t>(all.size() - at, 1 + (at * 7919) % 5000);
    client.write(all.data() + at, n);
    at += n;
  }
  EXPECT_EQ(server.read(all.size()), all);
}

TEST_F(RelayFixture, BareHeaderWordOfClassesWithoutPayloadPassesAtOnce) {
  for (unsigned k : {0u, 13u, 14u, 15u}) {
    const Bytes m = message(k, 5, {});
    ASSERT_EQ(m.size(), 2u);
    client.write(m);
    EXPECT_EQ(server.read(2, 2000), m) << "class " << k;
  }
  for (unsigned k : {1u, 8u, 9u, 10u, 11u, 12u}) {
    const Bytes m = message(k, 6, pattern(3));
    client.write(m.data(), 2);
    EXPECT_TRUE(server.read(1, 100).empty()) << "class " << k;
    client.write(m.data() + 2, m.size() - 2);
    EXPECT_EQ(server.read(m.size()), m) << "class " << k;
  }
}

TEST_F(RelayFixture, LargeMessagesGrowTheBuffersAndPassWhole) {
  const Bytes big = message(11, 9, pattern(1 << 20, 3));
  const Bytes mid = message(12, 10, pattern(70000, 4));
  const Bytes small = message(2, 11, pattern(2));
  Bytes all = big;
  all.insert(all.end(), mid.begin(), mid.end());
  all.insert(all.end(), small.begin(), small.end());
  std::thread writer([&] { server.write(all); });
  EXPECT_EQ(client.read(all.size(), 10000), all);
  writer.join();
  client.write(all);
  EXPECT_EQ(server.read(all.size(), 10000), all);
}

TEST_F(RelayFixture, TimeStampsInTheirDirectionOnly) {
  const Bytes toClient = message(1, 311, pattern(40, 5));
  const Bytes toServer = message(1, 316, pattern(48, 6));
  const std::int64_t before = nowMillis();
  server.write(toClient);
  client.write(toServer);
  const Bytes gotClient = client.read(toClient.size());
  const Bytes gotServer = server.read(toServer.size());
  const std::int64_t after = nowMillis();
  ASSERT_EQ(gotClient.size(), toClient.size());
  ASSERT_EQ(gotServer.size(), toServer.size());
  const std::size_t at311 = 4 + 19, at316 = 4 + 32;
  EXPECT_GE(readTime(gotClient, at311), before);
  EXPECT_LE(readTime(gotClient, at311), after);
  EXPECT_GE(readTime(gotServer, at316), before);
  EXPECT_LE(readTime(gotServer, at316), after);
  // Everything but the field is unchanged.
  Bytes a = gotClient, b = gotServer;
  std::copy(toClient.begin() + at311, toClient.begin() + at311 + 8, a.begin() + at311);
  std::copy(toServer.begin() + at316, toServer.begin() + at316 + 8, b.begin() + at316);
  EXPECT_EQ(a, toClient);
  EXPECT_EQ(b, toServer);

  // The opposite directions, and messages too short for the field, pass unchanged.
  const Bytes reversed[] = {message(1, 316, pattern(48, 7)), message(1, 311, pattern(40, 8))};
  server.write(reversed[0]);
  client.write(reversed[1]);
  EXPECT_EQ(client.read(reversed[0].size()), reversed[0]);
  EXPECT_EQ(server.read(reversed[1].size()), reversed[1]);
  const Bytes short311 = message(1, 311, pattern(26, 9));
  const Bytes short316 = message(7, 316, pattern(24, 10));
  server.write(short311);
  client.write(short316);
  EXPECT_EQ(client.read(short311.size()), short311);
  EXPECT_EQ(server.read(short316.size()), short316);
}

TEST_F(RelayFixture, ClientCloseClosesServer) {
  client.write(message(0, 1, {}));
  EXPECT_EQ(server.read(2).size(), 2u);
  client.socket.close();
  EXPECT_TRUE(server.closedWithin());
}

TEST_F(RelayFixture, ServerCloseClosesClient) {
  server.socket.close();
  EXPECT_TRUE(client.closedWithin());
}

namespace {

// Writes copies of m without blocking until the socket takes no more for a while.
std::size_t flood(Peer& peer, const Bytes& m) {
  peer.socket.non_blocking(true);
  std::size_t total = 0, offset = 0;
  for (int idle = 0; idle < 20;) {
    boost::system::error_code error;
    const std::size_t n = peer.socket.write_some(asio::buffer(&m[offset], m.size() - offset), error);
    if (error && error != asio::error::would_block) break;
    if (!n) {
      ++idle;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    idle = 0;
    total += n;
    offset = (offset + n) % m.size();
  }
  peer.socket.non_blocking(false);
  return total;
}

}  // namespace

TEST_F(RelayFixture, ResetWhileSendsArePendingDropsTheQueueAndEndsTheSession) {
  const Bytes m = message(10, 21, pattern(30000, 5));
  const std::size_t sent = flood(client, m);  // the server reads nothing: the relay's sends stay pending
  ASSERT_GT(sent, 4u << 20);
  client.socket.set_option(asio::socket_base::linger(true, 0));
  client.socket.close();
  // The server gets a prefix of what was sent, then the end of the stream.
  std::size_t got = 0;
  for (;;) {
    const Bytes part = server.read(m.size());
    got += part.size();
    if (part.size() < m.size()) {
      EXPECT_TRUE(std::equal(part.begin(), part.end(), m.begin()));
      break;
    }
    ASSERT_EQ(part, m);
  }
  EXPECT_LT(got, sent);
  EXPECT_TRUE(server.lastError == asio::error::eof || server.lastError == asio::error::connection_reset)
      << server.lastError.message();
}

TEST_F(RelayFixture, ServerGoneWhileSendsArePendingClosesTheClient) {
  ASSERT_GT(flood(client, message(11, 22, pattern(50000, 6))), 4u << 20);
  server.socket.close();
  EXPECT_TRUE(client.closedWithin());
}

TEST(Proxy, DestroyedWithSessionsInEveryState) {
  Upstream upstream;
  std::unique_ptr<Proxy> proxy(new Proxy(upstream.endpoint(), 0));
  proxy->start(false);
  Peer busyClient, busyServer, openClient, openServer;
  busyClient.connect(proxy->port());
  ASSERT_TRUE(upstream.accept(busyServer));
  openClient.connect(proxy->port());
  ASSERT_TRUE(upstream.accept(openServer));
  // Sends pending towards a server that does not read, receiving paused on the client.
  flood(busyClient, message(11, 1, pattern(100000, 1)));
  // A message half received.
  const Bytes half = message(12, 2, pattern(5000, 2));
  openClient.write(half.data(), 100);
  Peer connecting;
  connecting.connect(proxy->port());  // accepted, its connect may still be pending
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  proxy.reset();
  EXPECT_TRUE(openServer.closedWithin());
  EXPECT_TRUE(openClient.closedWithin());
}

TEST_F(RelayFixture, UnservableDeclaredLengthClosesOnlyThatSession) {
  Bytes huge = message(12, 3, {});
  huge[2] = huge[3] = huge[4] = huge[5] = 0xFF;  // 4 GiB - 1
  client.write(huge);
  EXPECT_TRUE(client.closedWithin());
  EXPECT_TRUE(server.closedWithin());
  Peer client2, server2;
  client2.connect(proxy->port());
  ASSERT_TRUE(upstream.accept(server2));
  const Bytes m = message(3, 4, pattern(8));
  client2.write(m);
  EXPECT_EQ(server2.read(m.size()), m);
}

TEST(Proxy, AddressedModeConnectsToTheNamedDestination) {
  Upstream upstream;
  Proxy proxy(tcp::endpoint(asio::ip::address_v4::loopback(), 1), 0);
  proxy.start(true);
  ASSERT_NE(proxy.port(), 0);
  EXPECT_TRUE(proxy.addressed());

  const std::string text = "127.0.0.1:" + std::to_string(upstream.endpoint().port());
  Bytes header = {static_cast<unsigned char>(text.size()), 0};
  header.insert(header.end(), text.begin(), text.end());
  const Bytes m = message(4, 12, pattern(12));
  header.insert(header.end(), m.begin(), m.end());  // traffic right behind the header
  Peer client, server;
  client.connect(proxy.port());
  client.write(header);
  ASSERT_TRUE(upstream.accept(server));
  EXPECT_EQ(server.read(m.size()), m);  // header consumed, not forwarded
  server.write(m);
  EXPECT_EQ(client.read(m.size()), m);

  Peer empty;
  empty.connect(proxy.port());
  empty.write(Bytes{0, 0});
  EXPECT_TRUE(empty.closedWithin());

  // Without ':' the service is empty: port 0, which cannot be connected.
  Peer noPort;
  noPort.connect(proxy.port());
  noPort.write(Bytes{9, 0, '1', '2', '7', '.', '0', '.', '0', '.', '1'});
  EXPECT_TRUE(noPort.closedWithin());

  // A second start changes nothing.
  const std::uint16_t port = proxy.port();
  proxy.start(false);
  proxy.start(true);
  EXPECT_EQ(proxy.port(), port);
  EXPECT_TRUE(proxy.addressed());
}

TEST(Proxy, HostileDestinationHeadersCloseTheClientWithoutConnecting) {
  Upstream upstream;
  Proxy proxy(tcp::endpoint(asio::ip::address_v4::loopback(), 1), 0);
  proxy.start(true);
  const std::string port = std::to_string(upstream.endpoint().port());
  const std::string texts[] = {
      "127.0.0.1:" + std::to_string(upstream.endpoint().port() + 65536),  // would wrap to the upstream
      std::string("127.0.0.1\0junk:", 15) + port,                         // NUL cuts the host short
      "127.0.0.1:" + port + std::string("\0", 1),
      "127.0.0.1:0",
      "127.0.0.1:99999999999999999999",
      std::string(65535 - 6, 'a') + ":" + port,
      "\xff\xfe\x01garbage:\x01x",  // fails on the service, before any name lookup
  };
  for (const std::string& text : texts) {
    Bytes header = {static_cast<unsigned char>(text.size()), static_cast<unsigned char>(text.size() >> 8)};
    header.insert(header.end(), text.begin(), text.end());
    Peer client;
    client.connect(proxy.port());
    client.write(header);
    EXPECT_TRUE(client.closedWithin(10000)) << text.substr(0, 40);
    Peer server;
    EXPECT_FALSE(upstream.accept(server, 100)) << text.substr(0, 40);
  }
}

TEST(ProxySession, SplitDestinationAtTheFirstColon) {
  std::string host, service;
  EXPECT_TRUE(ProxySession::splitDestination("game.example:5190", host, service));
  EXPECT_EQ(host, "game.example");
  EXPECT_EQ(service, "5190");
  EXPECT_TRUE(ProxySession::splitDestination("a:b:c", host, service));
  EXPECT_EQ(host, "a");
  EXPECT_EQ(service, "b:c");
  EXPECT_TRUE(ProxySession::splitDestination("localhost", host, service));
  EXPECT_EQ(host, "localhost");
  EXPECT_EQ(service, "");
  EXPECT_TRUE(ProxySession::splitDestination("h:http", host, service));
  EXPECT_TRUE(ProxySession::splitDestination("h:65535", host, service));
  EXPECT_TRUE(ProxySession::splitDestination("h:0000065535", host, service));
  EXPECT_FALSE(ProxySession::splitDestination("h:65536", host, service));
  EXPECT_FALSE(ProxySession::splitDestination("h:070000", host, service));
  EXPECT_FALSE(ProxySession::splitDestination(std::string("h\0:80", 5), host, service));
}

TEST(Proxy, SilentClientDoesNotHoldUpOtherSessions) {
  Upstream upstream;
  Proxy proxy(tcp::endpoint(asio::ip::address_v4::loopback(), 1), 0);
  proxy.start(true);
  Peer silent, half;
  silent.connect(proxy.port());  // never names its destination
  half.connect(proxy.port());
  half.write(Bytes{20, 0, '1', '2'});  // names part of it
  const std::string text = "localhost:" + std::to_string(upstream.endpoint().port());
  Bytes header = {static_cast<unsigned char>(text.size()), 0};
  header.insert(header.end(), text.begin(), text.end());
  Peer client, server;
  client.connect(proxy.port());
  client.write(header);
  ASSERT_TRUE(upstream.accept(server, 3000));
  const Bytes m = message(5, 2, pattern(8));
  client.write(m);
  EXPECT_EQ(server.read(m.size()), m);
}

TEST(Proxy, AcceptingResumesAfterRunningOutOfDescriptors) {
  Upstream upstream;
  Proxy proxy(upstream.endpoint(), 0);
  proxy.start(false);
  Peer client, server;
  client.socket.open(tcp::v4());
  rlimit saved{};
  getrlimit(RLIMIT_NOFILE, &saved);
  rlimit tight = saved;
  // Every descriptor below the lowest free one is taken: no new one can be made.
  const int lowestFree = ::dup(0);
  ::close(lowestFree);
  tight.rlim_cur = static_cast<rlim_t>(lowestFree);
  setrlimit(RLIMIT_NOFILE, &tight);
  client.connect(proxy.port());  // queued; the relay's accept fails for want of a descriptor
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  setrlimit(RLIMIT_NOFILE, &saved);
  ASSERT_TRUE(upstream.accept(server));
  const Bytes m = message(3, 1, pattern(8));
  client.write(m);
  EXPECT_EQ(server.read(m.size()), m);
}

TEST(Proxy, UnreachableUpstreamClosesTheClient) {
  std::uint16_t closedPort;
  {
    Upstream gone;
    closedPort = gone.endpoint().port();
  }
  Proxy proxy(tcp::endpoint(asio::ip::address_v4::loopback(), closedPort), 0);
  proxy.start(false);
  Peer client;
  client.connect(proxy.port());
  EXPECT_TRUE(client.closedWithin());
}

TEST(Proxy, StartFailsWhenTheFixedPortIsTaken) {
  asio::io_context io;
  tcp::acceptor holder(io);
  boost::system::error_code error;
  holder.open(tcp::v4());
  holder.bind(tcp::endpoint(asio::ip::address_v4::loopback(), Proxy::fixed_port), error);
  if (error) GTEST_SKIP() << "port 15190 is in use by another process";
  holder.listen();
  Proxy proxy(tcp::endpoint(asio::ip::address_v4::loopback(), 1));
  EXPECT_ANY_THROW(proxy.start(false));
  EXPECT_EQ(proxy.port(), 0);
  // Once the port is free a later start succeeds.
  holder.close();
  proxy.start(false);
  EXPECT_EQ(proxy.port(), Proxy::fixed_port);
}

TEST(Proxy, GameServerFromEnvironment) {
  ::setenv("VORNASK_GAME_SERVER", "127.0.0.1:6001", 1);
  EXPECT_EQ(Proxy::gameServer(), tcp::endpoint(asio::ip::make_address("127.0.0.1"), 6001));
  ::unsetenv("VORNASK_GAME_SERVER");
  EXPECT_EQ(Proxy::gameServer().port(), Proxy::game_server_port);
}

// The movie learns the relay's ports before the relay starts: the fixed port
// and one bound in advance, which an addressed start then listens on.
TEST(Proxy, ThePortsToldToTheMovieAreTheOnesItListensOn) {
  Upstream upstream;
  for (const bool addressed : {true, false}) {
    std::uint16_t fixed = 0;
    {
      Upstream free;  // a port nothing listens on once it is gone
      fixed = free.endpoint().port();
    }
    Proxy proxy(upstream.endpoint(), fixed);
    const std::vector<std::uint16_t> before = proxy.movieReachablePorts();
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(before[0], fixed);
    EXPECT_NE(before[1], 0);
    EXPECT_EQ(proxy.movieReachablePorts(), before);  // asked again: the same ports
    proxy.start(addressed);
    EXPECT_EQ(proxy.port(), addressed ? before[1] : fixed) << addressed;
    EXPECT_EQ(proxy.movieReachablePorts(), std::vector<std::uint16_t>{proxy.port()});
    Peer client;
    client.connect(proxy.port());
    if (!addressed) {  // an addressed client names its destination first
      Peer server;
      EXPECT_TRUE(upstream.accept(server));
    }
  }
}
