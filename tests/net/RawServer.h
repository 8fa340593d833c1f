#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vtest {

// A loopback TCP server that answers each connection with one canned response (then closes
// it) and records the requests it received.
class RawServer {
 public:
  typedef std::function<std::string(const std::string& request)> Responder;

  explicit RawServer(Responder responder);
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;
  ~RawServer();

  // Sends each response in pieces of `size` bytes with `delayMs` between them.
  void pace(size_t size, int delayMs) {
    pieceSize_ = size;
    pieceDelayMs_ = delayMs;
  }

  int port() const { return port_; }
  std::string url(const std::string& path) const;
  std::vector<std::string> requests() const;

 private:
  void serve();
  void answer(int client);

  Responder responder_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<size_t> pieceSize_{0};
  std::atomic<int> pieceDelayMs_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace vtest
