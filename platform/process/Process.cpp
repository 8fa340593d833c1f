#include "platform/process/Process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

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

// Until a killed process is a zombie it may still hold its executable busy,
// even after its executable link has gone from /proc.
bool notYetDead(long pid) {
  const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
  const int fd = ::open(stat.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[512];
  const ssize_t n = ::read(fd, buf, sizeof buf - 1);
  ::close(fd);
  if (n <= 0) return false;
  buf[n] = '\0';
  // "pid (name) S ...": the state follows the last ")".
  const char* end = std::strrchr(buf, ')');
  return end && end[1] == ' ' && end[2] != 'Z' && end[2] != 'X' && end[2] != 'x';
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

bool terminateProcess(long pid) {
  return pid > 0 && ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
}

int terminateProcessesRunning(const std::string& path) {
  const std::string wanted = canonical(path);
  const long self = ::getpid();
  std::vector<long> killed;
  for (const ProcessEntry& p : listProcesses()) {
    if (p.pid == self || p.image.empty() || p.image != wanted) continue;
    if (terminateProcess(p.pid)) killed.push_back(p.pid);
  }
  // A killed process keeps its executable busy until it is gone.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  for (long pid : killed)
    while (notYetDead(pid) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return static_cast<int>(killed.size());
}

}  // namespace platform
