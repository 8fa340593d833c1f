#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace vtest {

// A loopback TCP server that sends back what it receives, on a thread of its
// own; counts the bytes and their Adler-32 per connection.
class EchoServer {
 public:
  EchoServer();
  ~EchoServer();
  EchoServer(const EchoServer&) = delete;
  EchoServer& operator=(const EchoServer&) = delete;

  std::uint16_t port() const { return port_; }
  struct Peer {
    std::size_t received = 0;
    std::uint32_t adler = 1;
    bool ended = false;  // the other side closed
  };
  std::vector<Peer> peers() const;
  // Closes every connection from this side.
  void closeAll();

 private:
  void run();

  int listener_ = -1;
  int wake_[2] = {-1, -1};
  std::uint16_t port_ = 0;
  mutable std::mutex mutex_;
  std::vector<Peer> peers_;
  std::vector<int> sockets_;
  std::atomic<bool> closing_{false};
  std::thread thread_;
};

}  // namespace vtest
