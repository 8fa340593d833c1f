// Long run of the client's network work in one process: relay sessions exchanging framed
// messages, repeated update checks (list fetch and one segmented download) against a web
// server, and a hook for game-window reloads. Resident memory and the descriptor count are
// sampled at a fixed interval and printed; they must stay flat.
//   bench_soak --url http://127.0.0.1:PORT/ [--seconds 1800] [--interval 60] [--sessions 50]
//              [--reloads 1]
#include "bench/soak/GameWindowReloads.h"
#include "net/Download.h"
#include "net/HTTPContext.h"
#include "net/Request.h"
#include "relay/Framing.h"
#include "relay/Proxy.h"

#include <boost/asio.hpp>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace asio = boost::asio;
using asio::ip::tcp;
typedef std::chrono::steady_clock Clock;

namespace {

struct Options {
  std::string url;
  long seconds = 1800;
  long interval = 60;
  int sessions = 50;
  bool reloads = true;
};

// Reloads the game window and waits until the movie is loaded again (set in main).
std::function<void()> gameWindowReload;

long residentKb() {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

long descriptors() {
  long n = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) n += !entry.path().empty();
  return n;
}

// An echo game server: echoes every byte on every connection.
class Echo {
 public:
  Echo() : acceptor_(io_, tcp::endpoint(asio::ip::address_v4::loopback(), 0)) {
    accept();
    thread_ = std::thread([this] { io_.run(); });
  }
  ~Echo() {
    io_.stop();
    thread_.join();
  }
  tcp::endpoint endpoint() const { return acceptor_.local_endpoint(); }

 private:
  void accept() {
    acceptor_.async_accept([this](const boost::system::error_code& error, tcp::socket socket) {
      if (error) return;
      auto peer = std::make_shared<tcp::socket>(std::move(socket));
      peer->set_option(tcp::no_delay(true));
      pump(peer, std::make_shared<std::vector<char>>(65536));
      accept();
    });
  }
  void pump(std::shared_ptr<tcp::socket> peer, std::shared_ptr<std::vector<char>> buffer) {
    peer->async_read_some(
        asio::buffer(*buffer), [this, peer, buffer](const boost::system::error_code& e, size_t n) {
          if (e) return;
          asio::async_write(*peer, asio::buffer(buffer->data(), n),
                            [this, peer, buffer](const boost::system::error_code& w, size_t) {
                              if (!w) pump(peer, buffer);
                            });
        });
  }

  asio::io_context io_;
  tcp::acceptor acceptor_;
  std::thread thread_;
};

struct Counters {
  std::atomic<long> messages{0}, mismatches{0}, checks{0}, failedChecks{0}, downloads{0}, reloads{0};
  std::atomic<bool> stop{false};
};

// One relay session: a framed message, its echo, a pause; again until stopped.
void session(std::uint16_t port, int index, Counters& counters) {
  std::vector<unsigned char> message(48 + index % 16, static_cast<unsigned char>(index));
  const unsigned header = relay::framing::writeHeader(message.data(), 1, 200 + index, 0);
  relay::framing::writeHeader(message.data(), 1, 200 + index,
                              static_cast<std::uint32_t>(message.size() - header));
  std::vector<unsigned char> back(message.size());
  while (!counters.stop) {
    asio::io_context io;
    tcp::socket socket(io);
    boost::system::error_code error;
    socket.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port), error);
    socket.set_option(tcp::no_delay(true), error);
    // A few hundred messages per connection, then a new connection: sessions come and go too.
    for (int i = 0; i < 500 && !error && !counters.stop; ++i) {
      asio::write(socket, asio::buffer(message), error);
      if (!error) asio::read(socket, asio::buffer(back), error);
      if (error) break;
      if (back != message) ++counters.mismatches;
      ++counters.messages;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (error) ++counters.mismatches;
  }
}

// The file list, then the first listed file through a segmented download; repeated.
void updateChecks(const Options& options, const std::string& work, Counters& counters) {
  while (!counters.stop) {
    std::mutex mutex;
    std::condition_variable done;
    bool ended = false;
    int code = -1;
    std::string list;
    mnet::getData(options.url + "library/crc.txt?" + std::to_string(Clock::now().time_since_epoch().count()),
                  std::string(), mnet::ProgressCallback(), [&](int c, const std::string& body) {
                    std::lock_guard<std::mutex> lock(mutex);
                    code = c;
                    list = body;
                    ended = true;
                    done.notify_all();
                  });
    {
      std::unique_lock<std::mutex> lock(mutex);
      done.wait_for(lock, std::chrono::seconds(60), [&] { return ended; });
    }
    ++counters.checks;
    const std::string name = list.substr(0, list.find(':'));
    if (code != 0 || name.empty()) {
      ++counters.failedChecks;
    } else {
      const std::string target = work + "/download.tmp";
      std::mutex endMutex;
      std::condition_variable endDone;
      bool finished = false;
      mnet::Download download(options.url + name, target, -1,
                              [&](mnet::Download&, mnet::DownloadAction a, int) {
                                std::lock_guard<std::mutex> lock(endMutex);
                                if (a != mnet::DownloadAction::Finished) ++counters.failedChecks;
                                finished = true;
                                endDone.notify_all();
                              });
      download.start();
      std::unique_lock<std::mutex> lock(endMutex);
      endDone.wait_for(lock, std::chrono::seconds(120), [&] { return finished; });
      ++counters.downloads;
      std::remove(target.c_str());
      std::remove((target + ".meta").c_str());
    }
    if (gameWindowReload) {
      gameWindowReload();
      ++counters.reloads;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
}

bool parse(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i], value = argv[i + 1];
    if (key == "--url")
      options.url = value;
    else if (key == "--seconds")
      options.seconds = std::stol(value);
    else if (key == "--interval")
      options.interval = std::stol(value);
    else if (key == "--sessions")
      options.sessions = std::stoi(value);
    else if (key == "--reloads")
      options.reloads = value != "0";
    else
      return false;
  }
  if (!options.url.empty() && options.url.back() != '/') options.url += '/';
  return !options.url.empty() && options.seconds > 0 && options.interval > 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: bench_soak --url URL [--seconds N] [--interval N] [--sessions N] [--reloads 0|1]\n");
    return 2;
  }
  char pattern[] = "/tmp/vornask-soak.XXXXXX";
  const std::string work = ::mkdtemp(pattern);
  mnet::HTTPContext::instance().setUserAgent("Vornask soak");
  Echo echo;
  relay::Proxy relay(echo.endpoint(), 0);
  relay.start(false);

  Counters counters;
  // The real player, a control made and released per cycle (--reloads 0: none).
  // Samples wait while a game window is open: its web view holds descriptors
  // and memory of its own until it is released.
  std::mutex windowOpen;
  std::unique_ptr<GameWindowReloads> reloads;
  if (options.reloads) {
    reloads = std::make_unique<GameWindowReloads>(VORNASK_PROBE_SWF);
    gameWindowReload = [&] {
      std::lock_guard<std::mutex> open(windowOpen);
      if (!reloads->reload()) ++counters.failedChecks;
    };
  }
  std::vector<std::thread> threads;
  for (int i = 0; i < options.sessions; ++i)
    threads.emplace_back(session, relay.port(), i, std::ref(counters));
  threads.emplace_back(updateChecks, std::cref(options), std::cref(work), std::ref(counters));

  std::vector<long> rss, fds;
  const Clock::time_point start = Clock::now();
  std::printf("%8s %10s %6s %10s %8s %7s %9s %7s\n", "seconds", "rss_kb", "fds", "messages", "errors",
              "checks", "downloads", "reloads");
  for (long at = 0; at <= options.seconds; at += options.interval) {
    std::this_thread::sleep_until(start + std::chrono::seconds(at));
    {
      std::lock_guard<std::mutex> closed(windowOpen);
      rss.push_back(residentKb());
      fds.push_back(descriptors());
    }
    std::printf("%8ld %10ld %6ld %10ld %8ld %7ld %9ld %7ld\n", at, rss.back(), fds.back(),
                counters.messages.load(), counters.mismatches + counters.failedChecks, counters.checks.load(),
                counters.downloads.load(), counters.reloads.load());
    std::fflush(stdout);
  }
  counters.stop = true;
  for (std::thread& thread : threads) thread.join();
  std::filesystem::remove_all(work);

  // Flat: after the warm-up (the first tenth of the run, at least 30 s: pools, caches and
  // arenas fill), memory grows by at most 10 % and the descriptor count does not drift: the
  // median of the last third of the samples stays within 20 of the first third's. A single
  // sample may catch sessions reconnecting or a released web view still closing its channels.
  size_t from = 0;
  while (from + 1 < rss.size() &&
         static_cast<long>(from) * options.interval < std::max(30L, options.seconds / 10))
    ++from;
  long rssMax = 0, fdMin = fds[from], fdMax = fds[from];
  for (size_t i = from; i < rss.size(); ++i) {
    rssMax = std::max(rssMax, rss[i]);
    fdMin = std::min(fdMin, fds[i]);
    fdMax = std::max(fdMax, fds[i]);
  }
  const auto median = [&](size_t begin, size_t end) {
    std::vector<long> part(fds.begin() + static_cast<long>(begin), fds.begin() + static_cast<long>(end));
    std::nth_element(part.begin(), part.begin() + static_cast<long>(part.size() / 2), part.end());
    return part[part.size() / 2];
  };
  const size_t third = std::max<size_t>(1, (rss.size() - from) / 3);
  const long fdFirst = median(from, from + third), fdLast = median(rss.size() - third, rss.size());
  const bool flat = rssMax <= rss[from] + rss[from] / 10 && fdLast <= fdFirst + 20;
  const long errors = counters.mismatches + counters.failedChecks;
  std::printf("rss_kb %ld..%ld, fds %ld..%ld (median %ld, then %ld) after warm-up; errors %ld: %s\n",
              rss[from], rssMax, fdMin, fdMax, fdFirst, fdLast, errors,
              flat && errors == 0 ? "flat" : "NOT FLAT OR FAILING");
  return flat && errors == 0 ? 0 : 1;
}
