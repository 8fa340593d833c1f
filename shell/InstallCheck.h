#pragma once

#include <string>

namespace shell {

// Defined by the installer library (called once a target vornask_installer
// exists): true when the program may run from
// `executableFolder`; otherwise it has run the installer and the process ends.
bool installCheck(const std::string& executableFolder);

}  // namespace shell
