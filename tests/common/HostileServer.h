#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vtest {

class HostileServer;

// One accepted connection with the request read from it. The script answers through it;
// every wait gives up when the server stops or the peer goes away.
class Exchange {
 public:
  Exchange(HostileServer& server, int fd, std::string request, int serial);
  Exchange(const Exchange&) = delete;
  Exchange& operator=(const Exchange&) = delete;
  ~Exchange();

  const std::string& request() const { return request_; }
  // "GET", "HEAD", ...
  std::string method() const;
  std::string path() const;
  // The first and last byte of "Range: bytes=a-b"; false without a Range header.
  bool range(std::int64_t& first, std::int64_t& last) const;
  // The connection's number in accept order, from 0.
  int serial() const { return serial_; }

  // Gives up once the peer is gone.
  void send(const std::string& bytes) { put(bytes); }
  // `bytes` in pieces of `piece` bytes with `delayMs` between them.
  void trickle(const std::string& bytes, size_t piece, int delayMs);
  // Keeps the connection open and silent for `ms` (or until the peer closes or the server stops).
  void stall(int ms);
  // Sends `block` again and again for at most `ms` (or until the peer closes).
  void endless(const std::string& block, int ms);
  // Ends the connection with a reset instead of an orderly close.
  void reset();

 private:
  bool stopping() const;
  // False once the peer is gone.
  bool put(const std::string& bytes);

  HostileServer& server_;
  int fd_;
  std::string request_;
  int serial_;
};

// A loopback HTTP server for failure tests: every connection runs on a thread of its own and
// is answered by the test's script, which may cut, stall, trickle or lie. Stops (and joins
// every connection) when destroyed.
class HostileServer {
 public:
  typedef std::function<void(Exchange&)> Script;

  explicit HostileServer(Script script);
  HostileServer(const HostileServer&) = delete;
  HostileServer& operator=(const HostileServer&) = delete;
  ~HostileServer();

  int port() const { return port_; }
  std::string url(const std::string& path) const;
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> requests() const;
  // Requests whose first line starts with `prefix` ("GET /a.bin").
  int count(const std::string& prefix) const;
  bool stopped() const { return stop_; }

  // A whole answer with Content-Length and "Connection: close".
  static std::string answer(int status, const std::string& body, const std::string& headers = "");
  // The 206 answer for bytes [first, last] of `content` (`total` in Content-Range, -1: the size).
  static std::string partial(const std::string& content, std::int64_t first, std::int64_t last,
                             std::int64_t total = -1);
  // What a plain file server sends for `content`: HEAD, a whole GET or a ranged GET.
  static void serveFile(Exchange& exchange, const std::string& content);

 private:
  void acceptLoop();
  void serve(int fd, int serial);

  Script script_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::list<std::thread> connections_;
  std::thread acceptor_;
};

// Serves a fixed set of files; `override` may answer a request itself (return true).
class FileSite {
 public:
  typedef std::function<bool(Exchange&)> Override;

  void put(const std::string& path, const std::string& content);
  std::string get(const std::string& path) const;
  void setOverride(Override override);
  // Script for a HostileServer; 404 for unknown paths.
  HostileServer::Script script();

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> files_;
  Override override_;
};

}  // namespace vtest
