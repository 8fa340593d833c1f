#include "relay/RouteTracer.h"
#include "relay/Trace.h"
#include "support/ThreadPool.h"
#include "tests/common/Processes.h"

#include <gtest/gtest.h>

#include <boost/system/system_error.hpp>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <regex>
#include <sstream>
#include <thread>

using namespace relay;

namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

bool root() {
  return ::geteuid() == 0;
}

// Runs f on a thread that has entered the network namespace `name`.
template <class F>
void inNamespace(const std::string& name, F f) {
  std::thread t([&] {
    const int fd = ::open(("/var/run/netns/" + name).c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::setns(fd, CLONE_NEWNET), 0);
    ::close(fd);
    f();
  });
  t.join();
}

// client - r1 - r2 - r3 - destination, each link its own 10.213.N.0/24, in
// namespaces of their own.
class ThreeRouters {
 public:
  ThreeRouters() : prefix_("vxrt" + std::to_string(::getpid() % 100000)) {
    const char* names[] = {"c", "r1", "r2", "r3", "d"};
    for (const char* n : names) sh("ip netns add " + ns(n));
    for (int link = 1; link <= 4; ++link) {
      const std::string left = ns(names[link - 1]), right = ns(names[link]);
      const std::string a = prefix_ + "a" + std::to_string(link), b = prefix_ + "b" + std::to_string(link);
      sh("ip link add " + a + " netns " + left + " type veth peer name " + b + " netns " + right);
      sh("ip -n " + left + " addr add 10.213." + std::to_string(link) + ".1/24 dev " + a);
      sh("ip -n " + right + " addr add 10.213." + std::to_string(link) + ".2/24 dev " + b);
      sh("ip -n " + left + " link set " + a + " up");
      sh("ip -n " + right + " link set " + b + " up");
    }
    for (const char* r : {"r1", "r2", "r3"})
      sh("ip netns exec " + ns(r) + " sysctl -qw net.ipv4.ip_forward=1");
    sh("ip -n " + ns("c") + " route add default via 10.213.1.2");
    sh("ip -n " + ns("r1") + " route add default via 10.213.2.2");
    sh("ip -n " + ns("r2") + " route add default via 10.213.3.2");
    sh("ip -n " + ns("r2") + " route add 10.213.1.0/24 via 10.213.2.1");
    sh("ip -n " + ns("r3") + " route add 10.213.1.0/24 via 10.213.3.1");
    sh("ip -n " + ns("r3") + " route add 10.213.2.0/24 via 10.213.3.1");
    sh("ip -n " + ns("d") + " route add default via 10.213.4.1");
  }
  ~ThreeRouters() {
    for (const char* n : {"c", "r1", "r2", "r3", "d"})
      std::system(("ip netns del " + ns(n) + " 2>/dev/null").c_str());
  }
  std::string ns(const std::string& n) const { return prefix_ + n; }
  void sh(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

 private:
  std::string prefix_;
};

}  // namespace

TEST(RouteTracer, EchoRequestLayoutAndChecksum) {
  const auto request = RouteTracer::echoRequest(0x1234, 0x0002);
  EXPECT_EQ(request[0], 8);
  EXPECT_EQ(request[1], 0);
  EXPECT_EQ(request[4], 0x12);
  EXPECT_EQ(request[5], 0x34);
  EXPECT_EQ(request[6], 0x00);
  EXPECT_EQ(request[7], 0x02);
  // 0x0800 + 0x1234 + 0x0002 = 0x1A36, complemented.
  EXPECT_EQ((request[2] << 8) | request[3], 0xE5C9);
  // A packet with its checksum in place sums to zero.
  EXPECT_EQ(RouteTracer::checksum(request.data(), request.size()), 0);
  const unsigned char odd[] = {0x01, 0x02, 0x03};
  EXPECT_EQ(RouteTracer::checksum(odd, 3), static_cast<std::uint16_t>(~(0x0102 + 0x0300)));
}

TEST(RouteTracer, LoopbackDestinationGivesOneLine) {
  if (!root()) GTEST_SKIP() << "raw ICMP sockets need root";
  const std::vector<std::string> got = lines(Trace("127.0.0.1"));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(std::regex_match(got[0], std::regex("1\\)\t\\d+\t\\d+\t\\d+\t127\\.0\\.0\\.1"))) << got[0];
}

TEST(RouteTracer, UnresolvableHostThrowsAndPostsNothing) {
  if (!root()) GTEST_SKIP() << "raw ICMP sockets need root";
  EXPECT_THROW(Trace("no-such-host.invalid"), boost::system::system_error);
  bool called = false;
  {
    mstd::thread_pool pool;
    postTrace(pool, "no-such-host.invalid", [&](const std::string&) { called = true; });
    std::mutex m;
    std::condition_variable cv;
    bool ran = false;
    pool.post([&] {
      std::lock_guard<std::mutex> lock(m);
      ran = true;
      cv.notify_one();
    });
    std::unique_lock<std::mutex> lock(m);
    cv.wait_for(lock, std::chrono::seconds(20), [&] { return ran; });
  }
  EXPECT_FALSE(called);
}

TEST(RouteTracer, AcrossThreeRoutersInNamespaces) {
  if (!root()) GTEST_SKIP() << "network namespaces need root";
  ThreeRouters net;
  if (::testing::Test::HasFatalFailure()) return;
  std::string text;
  inNamespace(net.ns("c"), [&] { text = Trace("10.213.4.2"); });
  const std::vector<std::string> got = lines(text);
  ASSERT_EQ(got.size(), 4u) << text;
  const char* hops[] = {"10\\.213\\.1\\.2", "10\\.213\\.2\\.2", "10\\.213\\.3\\.2", "10\\.213\\.4\\.2"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(
        std::regex_match(got[i], std::regex(std::to_string(i + 1) + "\\)\t\\d+\t\\d+\t\\d+\t" + hops[i])))
        << got[i];
  }

  // Behind a router that drops silently, every probe times out.
  net.sh("ip -n " + net.ns("r2") + " route add blackhole 10.213.4.0/24");
  inNamespace(net.ns("c"), [&] { text = Trace("10.213.4.2", boost::posix_time::milliseconds(30)); });
  const std::vector<std::string> blocked = lines(text);
  ASSERT_EQ(blocked.size(), RouteTracer::max_hops) << text;
  EXPECT_EQ(blocked[0].substr(0, 3), "1)\t");  // r1 may rate-limit its answers
  EXPECT_EQ(blocked[1], "2)\t*\t*\t*\t*");
  EXPECT_EQ(blocked[29], "30)\t*\t*\t*\t*");
}

TEST(RouteTracer, AnUnansweredTraceStopsWhenItsPoolIsDestroyed) {
  if (!root()) GTEST_SKIP() << "network namespaces need root";
  // Two namespaces of our own on one link; the far one ignores echo requests, so every probe
  // waits in full.
  const std::string near = "vxrq" + std::to_string(::getpid() % 100000), far = near + "f";
  struct Cleanup {
    std::vector<std::string> names;
    ~Cleanup() {
      for (const std::string& n : names) std::system(("ip netns del " + n + " 2>/dev/null").c_str());
    }
  } cleanup{{near, far}};
  const std::string a = near + "a", b = near + "b";
  for (const std::string& step :
       {"ip netns add " + near, "ip netns add " + far,
        "ip link add " + a + " netns " + near + " type veth peer name " + b + " netns " + far,
        "ip -n " + near + " addr add 10.213.98.1/24 dev " + a,
        "ip -n " + far + " addr add 10.213.98.2/24 dev " + b, "ip -n " + near + " link set " + a + " up",
        "ip -n " + far + " link set " + b + " up",
        "ip netns exec " + far + " sysctl -qw net.ipv4.icmp_echo_ignore_all=1"})
    ASSERT_EQ(std::system(step.c_str()), 0) << step;

  bool reported = false;
  std::chrono::steady_clock::duration took{};
  size_t threadsBefore = 0, threadsAfter = 0;
  inNamespace(near, [&] {
    threadsBefore = vtest::threadCount();
    auto pool = std::make_unique<mstd::thread_pool>(boost::chrono::milliseconds(200));
    postTrace(*pool, "10.213.98.2", [&](const std::string&) { reported = true; });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the first probe waits
    const auto start = std::chrono::steady_clock::now();
    pool.reset();
    took = std::chrono::steady_clock::now() - start;
    threadsAfter = vtest::threadCount();
  });
  // The worker was joined, not left running: the wait ended with the stop request.
  EXPECT_EQ(threadsBefore, threadsAfter);
  EXPECT_LT(took, std::chrono::seconds(2));
  EXPECT_FALSE(reported);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
}
