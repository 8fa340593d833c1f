#include "relay/Framing.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/Sandbox.h"
#include "tests/relay/RelayPeer.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <regex>
#include <thread>

using namespace relaytest;

namespace {

std::uint32_t readLittle(const Bytes& b, std::size_t at, unsigned size) {
  std::uint32_t v = 0;
  for (unsigned i = size; i-- > 0;) v = (v << 8) | b[at + i];
  return v;
}

std::int64_t readInt64(const Bytes& b, std::size_t at) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | b[at + i];
  return static_cast<std::int64_t>(v);
}

void putInt64(Bytes& b, std::size_t at, std::int64_t value) {
  for (int i = 0; i < 8; ++i)
    b[at + i] = static_cast<unsigned char>(static_cast<std::uint64_t>(value) >> (8 * i));
}

Bytes text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

// Reads one class 1 message: its id and payload.
bool readMessage(Peer& peer, unsigned& id, Bytes& payload) {
  const Bytes head = peer.read(4);
  if (head.size() < 4 || (head[1] >> 4) != 1) return false;
  id = readLittle(head, 0, 2) & 0x0FFF;
  payload = peer.read(readLittle(head, 2, 2));
  return payload.size() == readLittle(head, 2, 2);
}

// The real vornaskctl game-server on a free loopback port.
class GameServerTest : public vtest::Sandbox {
 protected:
  void start(std::vector<std::string> extra = {}) {
    const auto tool = vtest::buildDir() / "tools" / "vornaskctl";
    if (!std::filesystem::exists(tool)) GTEST_SKIP() << "vornaskctl is not built";
    std::vector<std::string> args = {"game-server", "--listen", "127.0.0.1:0"};
    args.insert(args.end(), extra.begin(), extra.end());
    server = std::make_unique<vtest::ChildProcess>(tool.string(), args, std::map<std::string, std::string>{},
                                                   dir().string());
    std::smatch m;
    ASSERT_TRUE(server->waitLine(
        [&](const std::string& line) {
          static const std::regex listening("game-server: listening on 127\\.0\\.0\\.1:(\\d+)");
          return std::regex_match(line, m, listening);
        },
        10000))
        << server->errorOutput();
    port = static_cast<std::uint16_t>(std::stoi(m[1]));
  }

  // Connects a player and takes its welcome; the player's number.
  unsigned join(Peer& peer) {
    peer.connect(port);
    unsigned id = 0;
    Bytes payload;
    EXPECT_TRUE(readMessage(peer, id, payload));
    EXPECT_EQ(id, 502u);
    return payload.size() == 2 ? readLittle(payload, 0, 2) : 0;
  }

  void expectError(const std::string& what) {
    EXPECT_TRUE(
        server->waitLine([&](const std::string& l) { return l.find(what) != std::string::npos; }, 5000))
        << server->errorOutput();
  }

  std::unique_ptr<vtest::ChildProcess> server;
  std::uint16_t port = 0;
};

}  // namespace

TEST_F(GameServerTest, ChatReachesEveryPlayerWithTheSendersNumber) {
  start();
  Peer a, b;
  const unsigned na = join(a), nb = join(b);
  EXPECT_NE(na, nb);
  const Bytes line = text("Привет, мир");
  a.write(message(1, 500, line));
  for (Peer* p : {&a, &b}) {
    unsigned id = 0;
    Bytes payload;
    ASSERT_TRUE(readMessage(*p, id, payload));
    EXPECT_EQ(id, 501u);
    EXPECT_EQ(readLittle(payload, 0, 2), na);
    EXPECT_EQ(Bytes(payload.begin() + 2, payload.end()), line);
  }
  ::kill(static_cast<pid_t>(server->pid()), SIGTERM);
  EXPECT_EQ(server->wait(5000), 0);
  EXPECT_TRUE(a.closedWithin());
}

TEST_F(GameServerTest, EachPingIsAnsweredByAPongCarryingItsStamps) {
  start();
  Peer p;
  join(p);
  // Any length class with a payload of 40 bytes or more is a ping.
  for (unsigned k : {1u, 12u}) {
    Bytes ping = pattern(k == 1 ? 40 : 48, k);
    ping[0] = static_cast<unsigned char>(k);
    putInt64(ping, 4, 1234567890123);
    putInt64(ping, 32, 1700000000000 + k);
    const std::int64_t before = relay::framing::utcMillis();
    p.write(message(k, 316, ping));
    unsigned id = 0;
    Bytes pong;
    ASSERT_TRUE(readMessage(p, id, pong));
    const std::int64_t after = relay::framing::utcMillis();
    EXPECT_EQ(id, 311u);
    ASSERT_EQ(pong.size(), 35u);
    EXPECT_EQ(Bytes(pong.begin(), pong.begin() + 12), Bytes(ping.begin(), ping.begin() + 12));
    EXPECT_EQ(Bytes(pong.begin() + 12, pong.begin() + 19), Bytes(7, 0));
    EXPECT_GE(readInt64(pong, 19), before);
    EXPECT_LE(readInt64(pong, 19), after);
    EXPECT_EQ(readInt64(pong, 27), 1700000000000 + k);
  }
}

TEST_F(GameServerTest, AMalformedFrameIsReportedAndClosesOnlyItsSession) {
  start();
  Peer other;
  join(other);
  struct Case {
    Bytes frame;
    std::string error;
  };
  Bytes huge = {0x05, 0xB0, 0x00, 0x00, 0x00, 0x40};  // class 11, 1 GiB
  const Case cases[] = {{huge, "message 5 declares 1073741830 bytes"},
                        {message(1, 316, pattern(39)), "ping (316) with 39 payload bytes"},
                        {message(1, 500, {}), "chat (500) with 0 bytes"},
                        {message(10, 500, pattern(1001)), "chat (500) with 1001 bytes"}};
  for (const Case& c : cases) {
    Peer bad;
    join(bad);
    bad.write(c.frame);
    expectError("malformed frame: " + c.error);
    EXPECT_TRUE(bad.closedWithin()) << c.error;
  }
  // Unknown kinds are ignored, and the other player is still served.
  other.write(message(3, 77, pattern(8)));
  other.write(message(1, 316, pattern(40)));
  unsigned id = 0;
  Bytes payload;
  ASSERT_TRUE(readMessage(other, id, payload));
  EXPECT_EQ(id, 311u);
}

TEST_F(GameServerTest, APlayerThatDoesNotReadIsDroppedAtTheQueueLimit) {
  start({"--queue-limit", "262144"});
  Peer slow, fast;
  slow.socket.open(tcp::v4());
  slow.socket.set_option(asio::socket_base::receive_buffer_size(4096));
  const unsigned ns = join(slow);
  join(fast);
  // The sender reads its own lines back meanwhile, so only the slow one lags.
  std::atomic<bool> done{false};
  std::atomic<std::size_t> drained{0};
  std::thread drain([&] {
    Bytes sink(1 << 16);
    boost::system::error_code e;
    while (!done && !e) drained += fast.socket.read_some(asio::buffer(sink), e);
  });
  const Bytes chat = message(1, 500, pattern(1000));
  const std::string expected = "game-server: player " + std::to_string(ns) + " (127.0.0.1:";
  const auto slowDropped = [&](const std::string& l) {
    return l.rfind(expected, 0) == 0 && l.find("): slow reader, ") != std::string::npos;
  };
  bool dropped = false;
  // In bursts, each once the sender has read its lines of the last one back
  // (they are a little longer than what it sent), so its own queue stays short.
  boost::system::error_code error;
  std::size_t sent = 0;
  for (int burst = 0; burst < 2000 && !dropped && !error; ++burst) {
    for (int i = 0; i < 64 && !error; ++i) sent += asio::write(fast.socket, asio::buffer(chat), error);
    const auto caughtUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (drained < sent && std::chrono::steady_clock::now() < caughtUp)
      dropped = dropped || server->waitLine(slowDropped, 1);
    dropped = dropped || server->waitLine(slowDropped, 2);
  }
  EXPECT_FALSE(error) << error.message();
  done = true;
  boost::system::error_code ignored;  // the server may have closed it already
  fast.socket.shutdown(tcp::socket::shutdown_both, ignored);
  drain.join();
  EXPECT_TRUE(dropped || server->waitLine(slowDropped, 5000)) << server->errorOutput();
  // Whatever the slow player still gets ends with the close.
  Bytes sink;
  do sink = slow.read(1 << 20, 5000);
  while (sink.size() == (1u << 20));
  EXPECT_TRUE(slow.lastError == asio::error::eof || slow.lastError == asio::error::connection_reset)
      << slow.lastError.message();
}
