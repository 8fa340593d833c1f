#include "platform/files/GuardedFile.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

GuardedFile::~GuardedFile() {
  close();
}

GuardedFile::GuardedFile(GuardedFile&& other) noexcept : fd_(other.fd_), size_(other.size_) {
  other.fd_ = -1;
  other.size_ = 0;
}

GuardedFile& GuardedFile::operator=(GuardedFile&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.fd_;
    size_ = other.size_;
    other.fd_ = -1;
    other.size_ = 0;
  }
  return *this;
}

void GuardedFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
}

int GuardedFile::open(const std::string& folder, const std::string& name) {
  close();
  const int base = ::open(folder.empty() ? "." : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (base < 0) return errno;
  open_how how{};
  // O_NONBLOCK: a FIFO planted under the name must not hold the UI thread.
  how.flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  how.mode = 0644;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  const long fd = ::syscall(SYS_openat2, base, name.c_str(), &how, sizeof how);
  const int openError = errno;
  ::close(base);
  if (fd < 0) return openError;
  struct stat st;
  if (::fstat(static_cast<int>(fd), &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(static_cast<int>(fd));
    return EINVAL;
  }
  fd_ = static_cast<int>(fd);
  size_ = static_cast<std::uint64_t>(st.st_size);
  return 0;
}

int GuardedFile::append(const std::string& bytes, std::uint64_t limit) {
  if (fd_ < 0) return EBADF;
  if (size_ + bytes.size() > limit) return EFBIG;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    done += static_cast<std::size_t>(n);
    size_ += static_cast<std::uint64_t>(n);
  }
  return 0;
}

}  // namespace platform
