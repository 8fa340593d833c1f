#include "platform/files/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

FolderLock::~FolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

int FolderLock::take(const std::string& path) {
  if (fd_ >= 0) return 0;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return errno;
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    const int error = errno == EAGAIN ? EWOULDBLOCK : errno;
    ::close(fd);
    return error;
  }
  fd_ = fd;
  return 0;
}

}  // namespace platform
