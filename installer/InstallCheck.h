#pragma once

#include <string>

namespace installer {

// True when the program may run from `executableFolder` (a recorded install
// folder); otherwise the installer has run and the process is to end.
bool installCheck(const std::string& executableFolder);

}  // namespace installer
