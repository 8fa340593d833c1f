#include "platform/process/Process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <utility>

#include "platform/process/CommandLine.h"

extern char** environ;

namespace platform {
namespace {

const std::string deletedSuffix = " (deleted)";

std::string readLink(const std::string& link) {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string path(buf, static_cast<std::size_t>(n));
  if (path.size() > deletedSuffix.size() &&
      path.compare(path.size() - deletedSuffix.size(), deletedSuffix.size(), deletedSuffix) == 0)
    path.resize(path.size() - deletedSuffix.size());
  return path;
}

// Absolute path with its folder resolved, the name kept.
std::string canonical(const std::string& path) {
  std::string abs = path;
  if (abs.empty() || abs[0] != '/') {
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) return path;
    abs = std::string(cwd) + "/" + path;
  }
  const std::size_t slash = abs.rfind('/');
  const std::string folder = slash == 0 ? "/" : abs.substr(0, slash);
  char real[PATH_MAX];
  if (!::realpath(folder.c_str(), real)) return abs;
  std::string result = real;
  if (result != "/") result += '/';
  return result + abs.substr(slash + 1);
}

bool copyContent(int in, int out) {
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(out, buf + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) return false;
      done += w;
    }
  }
}

std::atomic<unsigned> copyCounter{0};

// Real user of a process from its status; -1 when unknown.
long processUser(long pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("Uid:", 0) == 0) return std::strtol(line.c_str() + 4, nullptr, 10);
  return -1;
}

// A pidfd closed with its owner (called directly: glibc 2.36 declares its
// wrappers without C linkage for C++).
class Pidfd {
 public:
  explicit Pidfd(long pid) : fd_(static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0))) {}
  ~Pidfd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Pidfd(Pidfd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Pidfd(const Pidfd&) = delete;
  Pidfd& operator=(const Pidfd&) = delete;
  Pidfd& operator=(Pidfd&&) = delete;

  bool valid() const { return fd_ >= 0; }
  bool signal(int sig) const { return ::syscall(SYS_pidfd_send_signal, fd_, sig, nullptr, 0) == 0; }
  // A pidfd becomes readable once every thread of the process has exited.
  bool gone() const {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
  }

 private:
  int fd_;
};

// Still held by a running process (or its exiting threads)?
bool busy(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd >= 0) ::close(fd);
  return fd < 0 && errno == ETXTBSY;
}

// Polls until every process is gone or the deadline passes; true when all are.
bool waitGone(const std::vector<Pidfd>& processes, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    bool all = true;
    for (const Pidfd& p : processes) all = all && p.gone();
    if (all) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

std::string modulePath() {
  return readLink("/proc/self/exe");
}

long spawnProcess(const std::string& path, const std::string& commandLine, const std::string& workingFolder) {
  std::vector<std::string> items;
  if (!commandLine.empty()) items = splitCommandLine(commandLine, path);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (std::string& s : items) argv.push_back(s.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!workingFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
  const int err = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) {
    errno = err;
    return -1;
  }
  return pid;
}

bool copyFile(const std::string& source, const std::string& target, bool failIfExists) {
  struct stat st;
  if (failIfExists && ::lstat(target.c_str(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  // A running executable cannot be opened for writing: that is "busy".
  const int probe = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (probe >= 0) {
    ::close(probe);
  } else if (errno != ENOENT) {
    return false;
  }
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  if (::fstat(in, &st) != 0) {
    const int e = errno;
    ::close(in);
    errno = e;
    return false;
  }
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  // A short prefix of the name keeps the temporary name within NAME_MAX.
  const std::string temp = folder + "/." + name.substr(0, 64) + ".copy." + std::to_string(::getpid()) + "." +
                           std::to_string(copyCounter++);
  const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777);
  if (out < 0) {
    const int e = errno;
    ::close(in);
    errno = e;
    return false;
  }
  bool ok = copyContent(in, out) && ::fchmod(out, st.st_mode & 07777) == 0 && ::fsync(out) == 0;
  int e = ok ? 0 : errno;
  ::close(in);
  if (::close(out) != 0 && ok) ok = false, e = errno;
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) ok = false, e = errno;
  if (!ok) {
    ::unlink(temp.c_str());
    errno = e;
  }
  return ok;
}

std::vector<ProcessEntry> listProcesses() {
  std::vector<ProcessEntry> result;
  DIR* proc = ::opendir("/proc");
  if (!proc) return result;
  while (dirent* d = ::readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(d->d_name, &end, 10);
    if (pid <= 0 || *end) continue;
    result.push_back(ProcessEntry{pid, processImagePath(pid)});
  }
  ::closedir(proc);
  return result;
}

std::string processImagePath(long pid) {
  return readLink("/proc/" + std::to_string(pid) + "/exe");
}

int terminateProcessesRunning(const std::string& path) {
  // A leftover is asked to end first; one that has not ended by then is killed.
  constexpr auto termGrace = std::chrono::seconds(2);
  // How long a killed process (every thread of it) may take to go.
  constexpr auto killGrace = std::chrono::seconds(1);
  const std::string wanted = canonical(path);
  const long self = ::getpid();
  const long user = static_cast<long>(::getuid());
  std::vector<Pidfd> ended;
  for (const ProcessEntry& p : listProcesses()) {
    if (p.pid == self || p.image.empty() || p.image != wanted || processUser(p.pid) != user) continue;
    Pidfd process(p.pid);
    // Checked again through the pidfd's process: the listed PID may have been reused meanwhile.
    if (!process.valid() || processImagePath(p.pid) != wanted || processUser(p.pid) != user) continue;
    if (process.signal(SIGTERM)) ended.push_back(std::move(process));
  }
  if (ended.empty()) return 0;
  auto deadline = std::chrono::steady_clock::now() + termGrace;
  if (!waitGone(ended, deadline)) {
    for (const Pidfd& p : ended)
      if (!p.gone()) p.signal(SIGKILL);
    deadline = std::chrono::steady_clock::now() + killGrace;
    waitGone(ended, deadline);
  }
  // The last thread's exit frees the executable only a moment later.
  while (busy(wanted) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return static_cast<int>(ended.size());
}

}  // namespace platform
