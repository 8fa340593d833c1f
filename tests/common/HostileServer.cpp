#include "tests/common/HostileServer.h"

#include "tests/common/Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace vtest {

namespace {

typedef std::chrono::steady_clock Clock;

// Waits up to `ms` for the descriptor; false on timeout.
bool readable(int fd, int ms) {
  pollfd wait{fd, POLLIN, 0};
  return ::poll(&wait, 1, ms) > 0;
}

}  // namespace

Exchange::Exchange(HostileServer& server, int fd, std::string request, int serial)
    : server_(server), fd_(fd), request_(std::move(request)), serial_(serial) {}

Exchange::~Exchange() {
  if (fd_ >= 0) {
    ::shutdown(fd_, SHUT_WR);
    ::close(fd_);
  }
}

std::string Exchange::method() const {
  return request_.substr(0, request_.find(' '));
}

std::string Exchange::path() const {
  const size_t from = request_.find(' ') + 1;
  return request_.substr(from, request_.find(' ', from) - from);
}

bool Exchange::range(std::int64_t& first, std::int64_t& last) const {
  const size_t at = request_.find("Range: bytes=");
  if (at == std::string::npos) return false;
  first = std::stoll(request_.substr(at + 13));
  last = std::stoll(request_.substr(request_.find('-', at + 13) + 1));
  return true;
}

bool Exchange::stopping() const {
  return server_.stopped() || fd_ < 0;
}

bool Exchange::put(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size() && !stopping()) {
    pollfd wait{fd_, POLLOUT, 0};
    if (::poll(&wait, 1, 20) <= 0) continue;
    const ssize_t put = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (put < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (put <= 0) return false;
    sent += static_cast<size_t>(put);
  }
  return sent == bytes.size();
}

void Exchange::trickle(const std::string& bytes, size_t piece, int delayMs) {
  for (size_t at = 0; at < bytes.size(); at += piece) {
    if (at) stall(delayMs);
    if (!put(bytes.substr(at, piece))) return;
  }
}

void Exchange::stall(int ms) {
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
  char discard[256];
  while (!stopping() && Clock::now() < end) {
    if (!readable(fd_, 20)) continue;
    if (::recv(fd_, discard, sizeof discard, MSG_DONTWAIT) == 0) return;  // peer closed
  }
}

void Exchange::endless(const std::string& block, int ms) {
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end && put(block)) {
  }
}

void Exchange::reset() {
  linger hard{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  ::close(fd_);
  fd_ = -1;
}

HostileServer::HostileServer(Script script) : script_(std::move(script)) {
  listener_ = listenOnLoopback(port_);
  acceptor_ = std::thread([this] { acceptLoop(); });
}

HostileServer::~HostileServer() {
  stop_ = true;
  acceptor_.join();
  for (std::thread& connection : connections_) connection.join();
  ::close(listener_);
}

std::string HostileServer::url(const std::string& path) const {
  return "http://" + host() + path;
}

std::vector<std::string> HostileServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

int HostileServer::count(const std::string& prefix) const {
  int n = 0;
  for (const std::string& request : requests()) n += request.compare(0, prefix.size(), prefix) == 0;
  return n;
}

void HostileServer::acceptLoop() {
  int serial = 0;
  while (!stop_) {
    if (!readable(listener_, 20)) continue;
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    connections_.emplace_back([this, client, serial] { serve(client, serial); });
    ++serial;
  }
}

void HostileServer::serve(int fd, int serial) {
  std::string request;
  char buffer[4096];
  while (!stop_ && request.find("\r\n\r\n") == std::string::npos) {
    if (!readable(fd, 20)) continue;
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) {
      ::close(fd);
      return;
    }
    request.append(buffer, static_cast<size_t>(got));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }
  Exchange exchange(*this, fd, request, serial);
  if (!stop_) script_(exchange);
}

std::string HostileServer::answer(int status, const std::string& body, const std::string& headers) {
  return "HTTP/1.1 " + std::to_string(status) +
         " Scripted\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n" +
         headers + "\r\n" + body;
}

std::string HostileServer::partial(const std::string& content, std::int64_t first, std::int64_t last,
                                   std::int64_t total) {
  if (total < 0) total = static_cast<std::int64_t>(content.size());
  const std::string body = content.substr(first, last - first + 1);
  return "HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nContent-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
         std::to_string(total) + "\r\nConnection: close\r\n\r\n" + body;
}

void HostileServer::serveFile(Exchange& exchange, const std::string& content) {
  std::int64_t first = 0, last = 0;
  if (exchange.method() == "HEAD") {
    const std::string head = answer(200, content);
    exchange.send(head.substr(0, head.size() - content.size()));
  } else if (exchange.range(first, last)) {
    last = std::min<std::int64_t>(last, static_cast<std::int64_t>(content.size()) - 1);
    exchange.send(partial(content, first, last));
  } else {
    exchange.send(answer(200, content));
  }
}

void FileSite::put(const std::string& path, const std::string& content) {
  std::lock_guard<std::mutex> lock(mutex_);
  files_[path] = content;
}

std::string FileSite::get(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = files_.find(path);
  return it == files_.end() ? std::string() : it->second;
}

void FileSite::setOverride(Override override) {
  std::lock_guard<std::mutex> lock(mutex_);
  override_ = std::move(override);
}

HostileServer::Script FileSite::script() {
  return [this](Exchange& exchange) {
    Override override;
    std::string content;
    bool found = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      override = override_;
      std::string path = exchange.path();
      path = path.substr(0, path.find('?'));
      auto it = files_.find(path);
      found = it != files_.end();
      if (found) content = it->second;
    }
    if (override && override(exchange)) return;
    if (!found)
      exchange.send(HostileServer::answer(404, "not here"));
    else
      HostileServer::serveFile(exchange, content);
  };
}

}  // namespace vtest
