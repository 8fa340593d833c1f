#include "platform/files/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace platform {
namespace {

std::atomic<unsigned> tempCounter{0};

int makeLevel(const std::string& folder) {
  struct stat st;
  if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  if (::mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST) return 0;
  return errno;
}

int writeAll(int fd, const std::string& data) {
  for (std::size_t done = 0; done < data.size();) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

}  // namespace

std::string nearestFolder(const std::string& path) {
  std::string folder = path;
  while (!folder.empty()) {
    struct stat st;
    if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return folder;
    const std::size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos || folder == "/") return "";
    folder.erase(slash == 0 ? 1 : slash);
  }
  return "";
}

int createFolderLevels(const std::string& path) {
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    if (path[i - 1] == '/') continue;  // "//" or a trailing "/"
    if (int err = makeLevel(path.substr(0, i))) return err;
  }
  return 0;
}

int writeFileAtomically(const std::string& path, const std::string& data, unsigned mode) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // A short prefix of the name keeps the temporary name within NAME_MAX.
  const std::string temp = folder + "/." + name.substr(0, 64) + ".tmp." + std::to_string(::getpid()) + "." +
                           std::to_string(tempCounter++);
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return errno;
  int err = writeAll(fd, data);
  if (!err && ::fchmod(fd, static_cast<mode_t>(mode)) != 0) err = errno;
  if (!err && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && !err) err = errno;
  if (!err && ::rename(temp.c_str(), path.c_str()) != 0) err = errno;
  if (err) ::unlink(temp.c_str());
  return err;
}

}  // namespace platform
