// Framed 1 KiB messages through the relay, a direct loopback connection and
// socat as a plain byte relay; and the latency the relay adds per message.
#include "relay/Framing.h"
#include "relay/Proxy.h"

#include <benchmark/benchmark.h>

#include <boost/asio.hpp>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

constexpr std::size_t message_size = 1024;
constexpr std::size_t burst = 64u << 20;

std::vector<unsigned char> framedTraffic(std::size_t total) {
  std::vector<unsigned char> out(total);
  for (std::size_t at = 0; at + message_size <= total; at += message_size) {
    const unsigned header = relay::framing::writeHeader(&out[at], 10, 100 + (at / message_size) % 200, 0);
    relay::framing::writeHeader(&out[at], 10, 100 + (at / message_size) % 200, message_size - header);
    std::fill(&out[at + header], &out[at + message_size], static_cast<unsigned char>(at));
  }
  return out;
}

double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double childCpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string field;
  double ticks = 0;
  for (int i = 1; i <= 15 && in >> field; ++i)
    if (i == 14 || i == 15) ticks += std::stod(field);
  return ticks / sysconf(_SC_CLK_TCK);
}

// Reads everything from one connection, or echoes it back.
class Server {
 public:
  explicit Server(bool echo)
      : acceptor_(io_, tcp::endpoint(asio::ip::address_v4::loopback(), 0)), echo_(echo) {
    thread_ = std::thread([this] {
      tcp::socket socket(io_);
      acceptor_.accept(socket);
      socket.set_option(tcp::no_delay(true));
      std::vector<unsigned char> buffer(1 << 18);
      boost::system::error_code error;
      for (;;) {
        const std::size_t n = socket.read_some(asio::buffer(buffer), error);
        if (error) break;
        if (echo_) asio::write(socket, asio::buffer(buffer.data(), n), error);
        received += n;
      }
    });
  }
  ~Server() { thread_.join(); }
  std::uint16_t port() const { return acceptor_.local_endpoint().port(); }

  std::atomic<std::uint64_t> received{0};

 private:
  asio::io_context io_;
  tcp::acceptor acceptor_;
  bool echo_;
  std::thread thread_;
};

enum class Path { Direct, Relay, Socat };

// The port to connect to for a path to `target`; starts the relay or socat.
struct Route {
  Route(Path path, std::uint16_t target) {
    if (path == Path::Direct) {
      port = target;
    } else if (path == Path::Relay) {
      proxy.reset(new relay::Proxy(tcp::endpoint(asio::ip::address_v4::loopback(), target), 0));
      proxy->start(false);
      port = proxy->port();
    } else {
      port = 20000 + getpid() % 10000;
      const std::string listen = "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr,nodelay";
      const std::string connect = "TCP:127.0.0.1:" + std::to_string(target) + ",nodelay";
      char* argv[] = {const_cast<char*>("socat"), const_cast<char*>(listen.c_str()),
                      const_cast<char*>(connect.c_str()), nullptr};
      posix_spawnp(&socat, "socat", nullptr, nullptr, argv, environ);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
  }
  ~Route() {
    if (socat) {
      kill(socat, SIGTERM);
      waitpid(socat, nullptr, 0);
    }
  }
  std::unique_ptr<relay::Proxy> proxy;
  pid_t socat = 0;
  std::uint16_t port = 0;
};

void Throughput(benchmark::State& state, Path path) {
  static const std::vector<unsigned char> traffic = framedTraffic(burst);
  std::uint64_t sent = 0;
  double cpu = 0, socatCpu = 0;
  {
    Server sink(false);
    Route route(path, sink.port());
    asio::io_context io;
    tcp::socket socket(io);
    socket.connect(tcp::endpoint(asio::ip::address_v4::loopback(), route.port));
    socket.set_option(tcp::no_delay(true));
    const double cpuBefore = processCpuSeconds();
    const double socatBefore = route.socat ? childCpuSeconds(route.socat) : 0;
    for (auto _ : state) {
      asio::write(socket, asio::buffer(traffic));
      sent += traffic.size();
      while (sink.received < sent) std::this_thread::yield();
    }
    cpu = processCpuSeconds() - cpuBefore;
    if (route.socat) socatCpu = childCpuSeconds(route.socat) - socatBefore;
    socket.close();
  }
  const double messages = double(sent) / message_size;
  state.SetBytesProcessed(static_cast<std::int64_t>(sent));
  state.SetItemsProcessed(static_cast<std::int64_t>(messages));
  state.counters["proc_cpu_ns_per_msg"] = cpu * 1e9 / messages;
  if (path == Path::Socat) state.counters["socat_cpu_ns_per_msg"] = socatCpu * 1e9 / messages;
}

// One message of `size` bytes (class 1: a 16-bit length field).
std::vector<unsigned char> framedMessage(std::size_t size) {
  std::vector<unsigned char> out(size, 0x5a);
  const unsigned header = relay::framing::writeHeader(out.data(), 1, 123, 0);
  relay::framing::writeHeader(out.data(), 1, 123, size - header);
  return out;
}

// Round trips of single messages of state.range(0) bytes at about 2,000 per second.
void Latency(benchmark::State& state, Path path) {
  const std::vector<unsigned char> one = framedMessage(static_cast<std::size_t>(state.range(0)));
  std::vector<double> rtt;
  {
    Server echo(true);
    Route route(path, echo.port());
    asio::io_context io;
    tcp::socket socket(io);
    socket.connect(tcp::endpoint(asio::ip::address_v4::loopback(), route.port));
    socket.set_option(tcp::no_delay(true));
    std::vector<unsigned char> back(one.size());
    for (auto _ : state) {
      for (int i = 0; i < 5000; ++i) {
        const auto start = std::chrono::steady_clock::now();
        asio::write(socket, asio::buffer(one));
        asio::read(socket, asio::buffer(back));
        rtt.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        std::this_thread::sleep_until(start + std::chrono::microseconds(500));
      }
    }
    socket.close();
  }
  std::sort(rtt.begin(), rtt.end());
  state.counters["rtt_p50_us"] = rtt[rtt.size() / 2];
  state.counters["rtt_p99_us"] = rtt[rtt.size() * 99 / 100];
}

}  // namespace

BENCHMARK_CAPTURE(Throughput, direct, Path::Direct)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(8);
BENCHMARK_CAPTURE(Throughput, relay, Path::Relay)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(8);
BENCHMARK_CAPTURE(Throughput, socat, Path::Socat)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(8);
// A small game message (32 bytes) and a large one (1 KiB).
BENCHMARK_CAPTURE(Latency, direct, Path::Direct)
    ->Arg(32)
    ->Arg(1024)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(Latency, relay, Path::Relay)
    ->Arg(32)
    ->Arg(1024)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(Latency, socat, Path::Socat)
    ->Arg(32)
    ->Arg(1024)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

BENCHMARK_MAIN();
