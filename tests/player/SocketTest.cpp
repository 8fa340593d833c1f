#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "support/Text.h"
#include "tests/player/EchoServer.h"
#include "tests/player/MovieFixture.h"

namespace vtest {
namespace {

constexpr int mebibyte = 1 << 20;

// What the movie sends for send(id, size): every byte value, then a pattern.
std::vector<unsigned char> sentBytes(int size) {
  std::vector<unsigned char> bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<unsigned char>(i));
  for (int i = 0; i < size; ++i) bytes.push_back(static_cast<unsigned char>((i * 7 + 3) & 255));
  return bytes;
}

std::string hex8(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

class SocketTest : public MovieFixture {
 protected:
  void SetUp() override {
    MovieFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    useMovie("sockets");
  }
  void call(const std::string& name, const std::string& arguments) {
    control->callFunction(mstd::utf8ToUtf16(invoke(name, arguments), mstd::Malformed::Replace));
  }
  void open(int id, const std::string& host, int port) {
    call("open", "<number>" + std::to_string(id) + "</number><string>" + host + "</string><number>" +
                     std::to_string(port) + "</number>");
  }
  bool sawEvent(int id, const std::string& event, int ms) {
    return sawCall(
        invoke("socketEvent", "<number>" + std::to_string(id) + "</number><string>" + event + "</string>"),
        ms);
  }
  bool movieReceived(int id, std::size_t count, std::uint32_t adler, int ms) {
    const std::string wanted =
        invoke("socketData", "<number>" + std::to_string(id) + "</number><number>" + std::to_string(count) +
                                 "</number><string>" + hex8(adler) + "</string>");
    return pumpUntil(
        [&] {
          call("report", "<number>" + std::to_string(id) + "</number>");
          pumpFor(50);
          return control->calls().back() == wanted;
        },
        ms);
  }
  EchoServer server;
};

TEST_F(SocketTest, EveryByteValueAndAMebibyteCrossTheBridgeBothWays) {
  play(640, 480, {server.port()});
  open(1, "127.0.0.1", server.port());
  ASSERT_TRUE(sawEvent(1, "connect", 30000));
  call("send", "<number>1</number><number>" + std::to_string(mebibyte) + "</number>");
  const std::vector<unsigned char> bytes = sentBytes(mebibyte);
  const auto adler = static_cast<std::uint32_t>(adler32(1, bytes.data(), static_cast<uInt>(bytes.size())));
  EXPECT_TRUE(movieReceived(1, bytes.size(), adler, 30000));
  ASSERT_EQ(server.peers().size(), 1u);
  EXPECT_EQ(server.peers()[0].received, bytes.size());
  EXPECT_EQ(server.peers()[0].adler, adler);
}

TEST_F(SocketTest, EitherSideCanClose) {
  play(640, 480, {server.port()});
  open(1, "127.0.0.1", server.port());
  open(2, "localhost", server.port());
  ASSERT_TRUE(sawEvent(1, "connect", 30000));
  ASSERT_TRUE(sawEvent(2, "connect", 30000));
  ASSERT_TRUE(pumpUntil([&] { return server.peers().size() == 2; }, 30000));
  call("close", "<number>1</number>");
  EXPECT_TRUE(pumpUntil([&] { return server.peers()[0].ended || server.peers()[1].ended; }, 30000));
  server.closeAll();
  EXPECT_TRUE(sawEvent(2, "close", 30000));
}

TEST_F(SocketTest, ReleasingTheControlClosesItsConnections) {
  play(640, 480, {server.port()});
  open(1, "127.0.0.1", server.port());
  ASSERT_TRUE(sawEvent(1, "connect", 30000));
  ASSERT_TRUE(pumpUntil([&] { return server.peers().size() == 1; }, 30000));
  control.reset();
  EXPECT_TRUE(pumpUntil([&] { return server.peers()[0].ended; }, 30000));
}

TEST_F(SocketTest, RefusedPortsAndOtherHostsFailInTheMovie) {
  play(640, 480, {server.port()});
  int unused = 0;
  {
    EchoServer gone;  // its port is free again once it is gone
    unused = gone.port();
  }
  open(1, "127.0.0.1", unused);
  EXPECT_TRUE(pumpUntil([&] { return sawEvent(1, "close", 0) || sawEvent(1, "ioError", 0); }, 30000));
  open(2, "192.0.2.1", 5190);
  EXPECT_TRUE(sawEvent(2, "ioError", 30000));
  EXPECT_FALSE(sawEvent(2, "connect", 1));
}

}  // namespace
}  // namespace vtest
