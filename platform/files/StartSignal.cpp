#include "platform/files/StartSignal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

constexpr char requestWord[] = "show ";
constexpr char reply[] = "ok\n";
// A start waits this long for the running program's answer; a request sent this slowly is dropped.
constexpr int exchangeSeconds = 2;

bool validToken(const std::string& token) {
  if (token.size() > maxStartToken) return false;
  for (unsigned char c : token)
    if (c <= ' ' || c > '~') return false;
  return true;
}

// The address of `path`; false when it does not fit.
bool addressOf(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  return true;
}

void limitExchange(int fd) {
  const timeval limit{exchangeSeconds, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

bool sendAll(int fd, const std::string& text) {
  for (std::size_t at = 0; at < text.size();) {
    const ssize_t n = ::send(fd, text.data() + at, text.size() - at, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
}

// One line of at most `limit` bytes before its newline; false on a longer one, an early end or a timeout.
bool readLine(int fd, std::size_t limit, std::string& line) {
  line.clear();
  char c;
  for (;;) {
    const ssize_t n = ::recv(fd, &c, 1, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (c == '\n') return true;
    if (line.size() == limit) return false;
    line += c;
  }
}

}  // namespace

StartSignalListener::~StartSignalListener() {
  if (thread_.joinable()) {
    char c = 0;
    [[maybe_unused]] const ssize_t n = ::write(stop_[1], &c, 1);
    thread_.join();
  }
  for (int fd : {socket_, stop_[0], stop_[1]})
    if (fd >= 0) ::close(fd);
  if (socket_ >= 0) ::unlink(path_.c_str());
}

int StartSignalListener::listen(const std::string& path, std::function<void(const std::string&)> onStart) {
  if (socket_ >= 0) return EBUSY;
  sockaddr_un address;
  if (!addressOf(path, address)) return ENAMETOOLONG;
  // A socket left by a program that did not end cleanly is replaced; any other file is kept.
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) return EEXIST;
    if (::unlink(path.c_str()) != 0) return errno;
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return errno;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 4) != 0 || ::pipe2(stop_, O_CLOEXEC) != 0) {
    const int error = errno;
    ::close(fd);
    ::unlink(path.c_str());
    return error;
  }
  socket_ = fd;
  path_ = path;
  onStart_ = std::move(onStart);
  thread_ = std::thread([this] { serve(); });
  return 0;
}

void StartSignalListener::serve() {
  for (;;) {
    pollfd fds[2] = {{socket_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    const int connection = ::accept4(socket_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    limitExchange(connection);
    ucred peer{};
    socklen_t size = sizeof peer;
    std::string line;
    if (::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid() &&
        readLine(connection, sizeof requestWord - 1 + maxStartToken, line) &&
        line.compare(0, sizeof requestWord - 1, requestWord) == 0) {
      const std::string token = line.substr(sizeof requestWord - 1);
      if (validToken(token)) {
        onStart_(token);
        sendAll(connection, reply);
      }
    }
    ::close(connection);
  }
}

int signalStart(const std::string& path, const std::string& token) {
  if (!validToken(token)) return EINVAL;
  sockaddr_un address;
  if (!addressOf(path, address)) return ENAMETOOLONG;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return errno;
  limitExchange(fd);
  int error = 0;
  std::string answer;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    error = errno;
  else if (!sendAll(fd, requestWord + token + "\n"))
    error = errno ? errno : EPIPE;
  else if (errno = 0; !readLine(fd, sizeof reply, answer) || answer + "\n" != reply)
    error = errno == EAGAIN || errno == EWOULDBLOCK ? ETIMEDOUT : EPROTO;
  ::close(fd);
  return error;
}

std::string startToken() {
  for (const char* name : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"})
    if (const char* value = std::getenv(name); value && *value) return value;
  return {};
}

}  // namespace platform
