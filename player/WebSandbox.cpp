#include "player/WebSandbox.h"

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace player {
namespace {

// The sysctl's value, or -1 when it is absent (the kernel does not have it).
long sysctlValue(const std::string& procSys, const char* name) {
  std::ifstream in(procSys + "/" + name);
  long value = -1;
  if (!(in >> value)) return -1;
  return value;
}

// 0, or the errno of unshare() in a child; the child ends at once.
int tryNamespaces() {
  const pid_t child = ::fork();
  if (child < 0) return errno;
  if (child == 0) ::_exit(::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0 ? 0 : (errno & 0x7f));
  int status = 0;
  while (::waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return errno;
  return WIFEXITED(status) ? WEXITSTATUS(status) : EPERM;
}

}  // namespace

std::string webSandboxObstacle(const std::string& procSys, const std::string& bwrap) {
  if (::access(bwrap.c_str(), X_OK) != 0)
    return "bubblewrap (" + bwrap + ") is missing; install the Debian package bubblewrap";
  if (sysctlValue(procSys, "kernel/unprivileged_userns_clone") == 0 && ::geteuid() != 0)
    return "user namespaces are switched off (kernel.unprivileged_userns_clone = 0); allow them with "
           "\"sysctl -w kernel.unprivileged_userns_clone=1\"";
  if (sysctlValue(procSys, "user/max_user_namespaces") == 0)
    return "user namespaces are switched off (user.max_user_namespaces = 0); allow them with "
           "\"sysctl -w user.max_user_namespaces=15000\"";
  if (procSys != "/proc/sys") return {};  // a folder of test values: no real attempt
  if (const int error = tryNamespaces())
    return std::string("user namespaces cannot be made (") + std::strerror(error) +
           "); allow them with \"sysctl -w kernel.unprivileged_userns_clone=1\" and "
           "\"sysctl -w user.max_user_namespaces=15000\", or let the container create namespaces";
  return {};
}

}  // namespace player
