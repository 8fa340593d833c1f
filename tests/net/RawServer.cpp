#include "tests/net/RawServer.h"

#include "tests/common/Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace vtest {

RawServer::RawServer(Responder responder) : responder_(std::move(responder)) {
  listener_ = listenOnLoopback(port_);
  thread_ = std::thread([this] { serve(); });
}

RawServer::~RawServer() {
  stop_ = true;
  thread_.join();
  ::close(listener_);
}

std::string RawServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> RawServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void RawServer::serve() {
  while (!stop_) {
    pollfd wait{listener_, POLLIN, 0};
    if (::poll(&wait, 1, 20) <= 0) continue;
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    answer(client);
    ::close(client);
  }
}

void RawServer::answer(int client) {
  std::string request;
  char buffer[4096];
  size_t bodyNeeded = std::string::npos;
  while (!stop_) {
    const size_t headerEnd = request.find("\r\n\r\n");
    if (headerEnd != std::string::npos) {
      if (bodyNeeded == std::string::npos) {
        bodyNeeded = 0;
        const size_t at = request.find("Content-Length: ");
        if (at != std::string::npos && at < headerEnd) bodyNeeded = std::stoul(request.substr(at + 16));
      }
      if (request.size() >= headerEnd + 4 + bodyNeeded) break;
    }
    pollfd wait{client, POLLIN, 0};
    if (::poll(&wait, 1, 20) <= 0) continue;
    const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
    if (got <= 0) return;
    request.append(buffer, static_cast<size_t>(got));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }
  const std::string response = responder_(request);
  size_t sent = 0;
  const size_t piece = pieceSize_ ? pieceSize_.load() : response.size();
  while (sent < response.size()) {
    if (sent && pieceDelayMs_) std::this_thread::sleep_for(std::chrono::milliseconds(pieceDelayMs_));
    const ssize_t put =
        ::send(client, response.data() + sent, std::min(piece, response.size() - sent), MSG_NOSIGNAL);
    if (put <= 0) break;
    sent += static_cast<size_t>(put);
  }
  ::shutdown(client, SHUT_WR);
}

}  // namespace vtest
