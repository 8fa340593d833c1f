#include "relay/Proxy.h"
#include "tests/relay/RelayPeer.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <memory>
#include <random>
#include <thread>

using namespace relay;

using namespace relaytest;

namespace {

// A stream of random framed messages and the offsets at which messages start.
struct Traffic {
  explicit Traffic(std::size_t size) {
    std::mt19937 random(42);
    while (bytes.size() < size) {
      starts.push_back(bytes.size());
      const unsigned k = random() % 16;
      unsigned id = random() % 4096;
      if (id == 311 || id == 316) id = 1;  // stamped ids would not echo unchanged
      std::size_t payload = random() % 3000;
      if (k == 8 || k == 9) payload %= 256;
      const std::size_t fixed[16] = {0, 0, 2, 8, 12, 8, 16, 24, 0, 0, 0, 0, 0, 0, 0, 0};
      if (k == 0 || (k >= 2 && k <= 7) || k >= 13) payload = fixed[k];
      if (k == 11 && random() % 50 == 0) payload = 70000;
      const Bytes m = message(k, id, pattern(payload, random()));
      bytes.insert(bytes.end(), m.begin(), m.end());
    }
  }
  Bytes bytes;
  std::vector<std::size_t> starts;
};

// Echoes every byte back on every accepted connection.
class EchoServer {
 public:
  EchoServer() : acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0)) {
    acceptor.listen(asio::socket_base::max_listen_connections);
    accept();
    thread = std::thread([this] { io.run(); });
  }
  ~EchoServer() {
    io.stop();
    thread.join();
  }

  asio::io_context io;
  tcp::acceptor acceptor;
  std::thread thread;

 private:
  struct Conn : std::enable_shared_from_this<Conn> {
    explicit Conn(asio::io_context& io) : socket(io) {}
    void read() {
      auto self = shared_from_this();
      socket.async_read_some(asio::buffer(buffer), [self](boost::system::error_code e, std::size_t n) {
        if (e) return;
        asio::async_write(self->socket, asio::buffer(self->buffer, n),
                          [self](boost::system::error_code e2, std::size_t) {
                            if (!e2) self->read();
                          });
      });
    }
    tcp::socket socket;
    unsigned char buffer[65536];
  };
  void accept() {
    auto conn = std::make_shared<Conn>(io);
    acceptor.async_accept(conn->socket, [this, conn](boost::system::error_code e) {
      if (e) return;
      conn->read();
      accept();
    });
  }
};

// A client that sends its slice of the traffic and checks the echo.
struct EchoClient : std::enable_shared_from_this<EchoClient> {
  EchoClient(asio::io_context& io, const Bytes& all, std::size_t begin, std::size_t end)
      : socket(io), all(all), begin(begin), end(end) {}

  void start(std::uint16_t port, std::atomic<int>& done) {
    auto self = shared_from_this();
    socket.async_connect(
        tcp::endpoint(asio::ip::address_v4::loopback(), port), [self, &done](boost::system::error_code e) {
          if (e) return;
          asio::async_write(self->socket, asio::buffer(&self->all[self->begin], self->end - self->begin),
                            [self](boost::system::error_code, std::size_t) {});
          self->read(done);
        });
  }
  void read(std::atomic<int>& done) {
    auto self = shared_from_this();
    socket.async_read_some(asio::buffer(buffer), [self, &done](boost::system::error_code e, std::size_t n) {
      if (e) return;
      if (std::memcmp(self->buffer, &self->all[self->begin + self->received], n) != 0) self->mismatch = true;
      self->received += n;
      if (self->begin + self->received >= self->end) {
        ++done;
        return;
      }
      self->read(done);
    });
  }

  tcp::socket socket;
  const Bytes& all;
  std::size_t begin, end, received = 0;
  bool mismatch = false;
  unsigned char buffer[65536];
};

}  // namespace

TEST(ProxyLoad, ThousandSessionsEchoTheirTrafficUnchanged) {
  constexpr int sessions = 1000;
#ifdef VORNASK_SANITIZED
  // Sanitized builds run several times slower: the same sessions, less traffic each.
  constexpr std::size_t per_session = 128u << 10;
#else
  constexpr std::size_t per_session = 1u << 20;
#endif
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
  if (limit.rlim_cur < 4 * sessions + 200) GTEST_SKIP() << "open-files limit too low: " << limit.rlim_cur;

  const Traffic traffic(8 << 20);
  EchoServer echo;
  Proxy proxy(echo.acceptor.local_endpoint(), 0);
  proxy.start(false);

  asio::io_context io;
  std::atomic<int> done{0};
  std::vector<std::shared_ptr<EchoClient>> clients;
  std::mt19937 random(7);
  for (int i = 0; i < sessions; ++i) {
    std::size_t first = random() % (traffic.starts.size() / 2);
    const std::size_t begin = traffic.starts[first];
    std::size_t last = first;
    while (last < traffic.starts.size() && traffic.starts[last] - begin < per_session) ++last;
    const std::size_t end = last < traffic.starts.size() ? traffic.starts[last] : traffic.bytes.size();
    clients.push_back(std::make_shared<EchoClient>(io, traffic.bytes, begin, end));
    clients.back()->start(proxy.port(), done);
  }
  io.run_for(std::chrono::seconds(240));
  EXPECT_EQ(done.load(), sessions);
  int mismatched = 0;
  for (auto& c : clients) mismatched += c->mismatch;
  EXPECT_EQ(mismatched, 0);
}

TEST(ProxyLoad, ClientThatNeverReadsKeepsRelayMemoryBounded) {
  Upstream upstream;
  Proxy proxy(upstream.endpoint(), 0);
  proxy.start(false);
  Peer client, server;
  client.socket.open(tcp::v4());
  client.socket.set_option(asio::socket_base::receive_buffer_size(65536));
  client.connect(proxy.port());
  ASSERT_TRUE(upstream.accept(server));
  server.socket.set_option(asio::socket_base::send_buffer_size(65536));

  const Bytes m = message(10, 20, pattern(60000, 3));
  constexpr std::size_t count = 1200;  // about 70 MiB
  Bytes all;
  for (std::size_t i = 0; i < count; ++i) all.insert(all.end(), m.begin(), m.end());

  // Write without blocking until the relay stops taking data.
  server.socket.non_blocking(true);
  std::size_t accepted = 0;
  auto lastProgress = std::chrono::steady_clock::now();
  while (accepted < all.size() && std::chrono::steady_clock::now() - lastProgress < std::chrono::seconds(1)) {
    boost::system::error_code error;
    const std::size_t n =
        server.socket.write_some(asio::buffer(&all[accepted], all.size() - accepted), error);
    if (n) {
      accepted += n;
      lastProgress = std::chrono::steady_clock::now();
    } else {
      ASSERT_EQ(error, asio::error::would_block);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  EXPECT_LT(accepted, 24u << 20) << "the relay kept reading from the server";

  // Once the client reads, everything arrives, nothing dropped or reordered.
  server.socket.non_blocking(false);
  std::thread writer(
      [&] { asio::write(server.socket, asio::buffer(&all[accepted], all.size() - accepted)); });
  EXPECT_TRUE(client.read(all.size(), 60000) == all);
  writer.join();
}
