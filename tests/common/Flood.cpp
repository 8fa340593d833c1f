#include "tests/common/Flood.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace vtest {

namespace {

// The child: only system calls from here to _exit.
[[noreturn]] void flood(std::uint16_t port, int count, int report) {
  rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (int i = 0; i < count; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) break;
    // Blocking connects: each one is accepted (or refused) before the next.
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  const char done = 1;
  if (::write(report, &done, 1) < 0) ::_exit(1);
  for (;;) ::pause();
}

}  // namespace

ConnectionFlood::ConnectionFlood(std::uint16_t port, int count) {
  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC) != 0) {
    problem_ = std::string("pipe: ") + std::strerror(errno);
    return;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipe[0]);
    flood(port, count, pipe[1]);
  }
  ::close(pipe[1]);
  if (pid < 0) {
    problem_ = std::string("fork: ") + std::strerror(errno);
    ::close(pipe[0]);
    return;
  }
  pid_ = pid;
  report_ = pipe[0];
}

ConnectionFlood::~ConnectionFlood() {
  if (pid_ > 0) {
    ::kill(static_cast<pid_t>(pid_), SIGKILL);
    int status = 0;
    ::waitpid(static_cast<pid_t>(pid_), &status, 0);
  }
  if (report_ >= 0) ::close(report_);
}

bool ConnectionFlood::waitConnected(int ms) {
  if (report_ < 0) return false;
  pollfd p{report_, POLLIN, 0};
  if (::poll(&p, 1, ms) != 1) {
    problem_ = "the flood did not finish in time";
    return false;
  }
  char done = 0;
  if (::read(report_, &done, 1) != 1) {
    problem_ = "the flood process ended early";
    return false;
  }
  return true;
}

}  // namespace vtest
