#include "tests/player/EchoServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

namespace vtest {

EchoServer::EchoServer() {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener_, 16) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 || ::pipe(wake_) != 0)
    return;
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { run(); });
}

EchoServer::~EchoServer() {
  closing_ = true;
  if (wake_[1] >= 0 && ::write(wake_[1], "x", 1) < 0) {
  }
  if (thread_.joinable()) thread_.join();
  for (int s : sockets_)
    if (s >= 0) ::close(s);
  for (int fd : {listener_, wake_[0], wake_[1]})
    if (fd >= 0) ::close(fd);
}

std::vector<EchoServer::Peer> EchoServer::peers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return peers_;
}

void EchoServer::closeAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int& s : sockets_)
    if (s >= 0) ::shutdown(s, SHUT_RDWR);
}

void EchoServer::run() {
  std::vector<unsigned char> buffer(65536);
  while (!closing_) {
    std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (int s : sockets_) fds.push_back({s, static_cast<short>(s >= 0 ? POLLIN : 0), 0});
    }
    if (::poll(fds.data(), fds.size(), 200) <= 0) continue;
    if (fds[1].revents & POLLIN) {
      const int s = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      std::lock_guard<std::mutex> lock(mutex_);
      if (s >= 0) sockets_.push_back(s), peers_.emplace_back();
    }
    for (std::size_t i = 2; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = ::recv(fds[i].fd, buffer.data(), buffer.size(), 0);
      std::lock_guard<std::mutex> lock(mutex_);
      Peer& peer = peers_[i - 2];
      if (n <= 0) {
        peer.ended = true;
        ::close(sockets_[i - 2]);
        sockets_[i - 2] = -1;
        continue;
      }
      peer.received += static_cast<std::size_t>(n);
      peer.adler = static_cast<std::uint32_t>(adler32(peer.adler, buffer.data(), static_cast<uInt>(n)));
      for (ssize_t sent = 0; sent < n;) {
        const ssize_t w =
            ::send(fds[i].fd, buffer.data() + sent, static_cast<std::size_t>(n - sent), MSG_NOSIGNAL);
        if (w <= 0) break;
        sent += w;
      }
    }
  }
}

}  // namespace vtest
