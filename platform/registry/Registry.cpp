#include "platform/registry/Registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace platform {
namespace {

bool validValueName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

int makeFolders(const std::string& folder) {
  for (std::size_t i = 1; i <= folder.size(); ++i) {
    if (i != folder.size() && folder[i] != '/') continue;
    const std::string part = folder.substr(0, i);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0) return errno;
  return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int writeAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

std::atomic<unsigned> tempCounter{0};

}  // namespace

RegistryRoot openCurrentUser() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return RegistryRoot{xdg};
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    if (const passwd* pw = ::getpwuid(::getuid())) home = pw->pw_dir;
  }
  return RegistryRoot{std::string(home ? home : "") + "/.config"};
}

std::string registryKeyFolder(const RegistryRoot& root, const std::string& subKey) {
  std::string folder = root.folder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty()) return {};
  bool first = true;
  std::size_t start = 0;
  while (start <= subKey.size()) {
    std::size_t end = subKey.find_first_of("\\/", start);
    if (end == std::string::npos) end = subKey.size();
    const std::string part = subKey.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    if (part == "." || part == "..") return {};
    if (first && ::strcasecmp(part.c_str(), "Software") == 0) {
      first = false;
      continue;
    }
    first = false;
    folder += "/" + part;
  }
  return folder;
}

int RegistryKey::open(const RegistryRoot& root, const std::string& subKey) {
  folder_.clear();
  const std::string folder = registryKeyFolder(root, subKey);
  if (folder.empty()) return EINVAL;
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  folder_ = folder;
  return 0;
}

int RegistryKey::create(const RegistryRoot& root, const std::string& subKey) {
  folder_.clear();
  const std::string folder = registryKeyFolder(root, subKey);
  if (folder.empty()) return EINVAL;
  if (int err = makeFolders(folder)) return err;
  folder_ = folder;
  return 0;
}

int RegistryKey::queryString(const std::string& name, std::string& value, std::size_t maxBytes) const {
  if (!isOpen()) return EBADF;
  if (!validValueName(name)) return EINVAL;
  const int fd = ::open((folder_ + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  std::string data;
  char buf[4096];
  int err = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    if (n == 0) break;
    data.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (err) return err;
  if (maxBytes && data.size() + 1 > maxBytes) return EOVERFLOW;
  value = std::move(data);
  return 0;
}

int RegistryKey::setString(const std::string& name, const std::string& value) const {
  if (!isOpen()) return EBADF;
  if (!validValueName(name)) return EINVAL;
  const std::string target = folder_ + "/" + name;
  // A short prefix of the name keeps the temporary name within NAME_MAX.
  const std::string temp = folder_ + "/." + name.substr(0, 64) + ".tmp." + std::to_string(::getpid()) + "." +
                           std::to_string(tempCounter++);
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return errno;
  int err = writeAll(fd, value);
  if (!err && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && !err) err = errno;
  if (!err && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
  if (err) {
    ::unlink(temp.c_str());
    return err;
  }
  const int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return 0;
}

int RegistryKey::deleteValue(const std::string& name) const {
  if (!isOpen()) return EBADF;
  if (!validValueName(name)) return EINVAL;
  return ::unlink((folder_ + "/" + name).c_str()) == 0 ? 0 : errno;
}

}  // namespace platform
