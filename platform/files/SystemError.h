#pragma once

#include <optional>
#include <string>

namespace platform {

// The system's text for an errno value (in the program's locale), or nothing
// when the system has none for it.
std::optional<std::string> systemErrorText(int code);

}  // namespace platform
