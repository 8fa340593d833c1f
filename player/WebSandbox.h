#pragma once

#include <string>

namespace player {

// Why WebKit's sandbox cannot start on this system, with what allows it, or
// empty when it can. `procSys` is the sysctl folder (/proc/sys) and `bwrap`
// the bubblewrap executable; a child process tries the namespaces for real.
std::string webSandboxObstacle(const std::string& procSys = "/proc/sys",
                               const std::string& bwrap = "/usr/bin/bwrap");

}  // namespace player
