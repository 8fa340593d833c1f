#include "support/SocketUtils.h"

#include "logging/LogParticipant.h"
#include "support/Clock.h"

#include <gtest/gtest.h>

#include <boost/asio.hpp>

#include <regex>

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

int countOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

struct LevelGuard {
  explicit LevelGuard(int level) : saved(mstd::nexusLog().level()) { mstd::nexusLog().entry().level = level; }
  ~LevelGuard() { mstd::nexusLog().entry().level = saved; }
  int saved;
};

}  // namespace

TEST(SocketUtils, ListenFailureWritesOneRecordAndThrows) {
  asio::io_context io;
  tcp::acceptor acceptor(io);
  const tcp::endpoint foreign(asio::ip::make_address("192.0.2.1"), 4000);  // not this machine's
  testing::internal::CaptureStdout();
  EXPECT_THROW(mstd::listen_endpoint(acceptor, foreign), boost::system::system_error);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(countOf(out, "Listen "), 1) << out;
  EXPECT_TRUE(std::regex_search(
      out, std::regex("ERR \\[\\d+\\] .* <nexus_utils> Listen 192\\.0\\.2\\.1:4000 failed: ")))
      << out;
}

TEST(SocketUtils, ListenSucceedsOnLoopbackAndDebugRecordOnlyAtLevelSeven) {
  asio::io_context io;
  {
    tcp::acceptor acceptor(io);
    testing::internal::CaptureStdout();
    mstd::listen_endpoint(acceptor, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(acceptor.is_open());
    EXPECT_NE(acceptor.local_endpoint().port(), 0);
  }
  LevelGuard level(7);
  tcp::acceptor acceptor(io);
  testing::internal::CaptureStdout();
  mstd::listen_endpoint(acceptor, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(countOf(out, "<nexus_utils> listen(127.0.0.1:0)"), 1) << out;
}

TEST(SocketUtils, TuneSocketLogsSizesOnlyAtLevelSix) {
  asio::io_context io;
  tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  tcp::socket client(io), server(io);
  client.connect(acceptor.local_endpoint());
  acceptor.accept(server);

  testing::internal::CaptureStdout();
  mstd::tune_socket(server);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  asio::ip::tcp::no_delay noDelay;
  server.get_option(noDelay);
  EXPECT_TRUE(noDelay.value());
  asio::socket_base::send_buffer_size send;
  server.get_option(send);
  EXPECT_GE(send.value(), 1048576);  // the system may report more than asked

  LevelGuard level(6);
  testing::internal::CaptureStdout();
  mstd::tune_socket(client);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(countOf(out, "<nexus_utils> old socket options, send: "), 1) << out;
  EXPECT_EQ(countOf(out, "<nexus_utils> new socket options, send: "), 1) << out;
  EXPECT_TRUE(std::regex_search(out, std::regex("new socket options, send: \\d+, recv: \\d+\n"))) << out;
  EXPECT_EQ(countOf(out, "\n"), 2);

  // A socket whose options cannot be set is logged, not thrown.
  tcp::socket closed(io);
  testing::internal::CaptureStdout();
  mstd::tune_socket(closed);
  const std::string failed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(countOf(failed, "ERR"), 7) << failed;  // two reads before, three sets, two reads after
  EXPECT_EQ(countOf(failed, "set no_delay failed: system:"), 1) << failed;
}

TEST(DelayWatch, ChecksEveryHundredthTickAndReportsOnlyLongStalls) {
  using boost::posix_time::milliseconds;
  const boost::posix_time::ptime start(boost::gregorian::date(2026, 1, 1));
  mstd::DelayWatch watch(start);
  // The first tick is a check; on time, nothing reported.
  EXPECT_EQ(watch.tick(start + milliseconds(1)), -1);
  EXPECT_EQ(watch.scheduled(), start + milliseconds(11));
  // A stall between checks is not seen until the next check.
  for (int i = 0; i < 99; ++i) EXPECT_EQ(watch.tick(watch.scheduled()), -1);
  const boost::posix_time::ptime due = watch.scheduled();
  EXPECT_EQ(watch.tick(due + milliseconds(60)), 60);
  // The schedule restarts from the check, so one stall is reported once.
  EXPECT_EQ(watch.scheduled(), due + milliseconds(70));
  for (int i = 0; i < 99; ++i) EXPECT_EQ(watch.tick(watch.scheduled()), -1);
  EXPECT_EQ(watch.tick(watch.scheduled() + milliseconds(40)), -1);
  for (int i = 0; i < 99; ++i) watch.tick(watch.scheduled());
  EXPECT_EQ(watch.tick(watch.scheduled() + milliseconds(50)), -1);
  for (int i = 0; i < 99; ++i) watch.tick(watch.scheduled());
  EXPECT_EQ(watch.tick(watch.scheduled() + milliseconds(51)), 51);
}
