#pragma once

#include <string>

#include "logging/Levels.h"

namespace player {

// One log record of the participant "flash" on standard output, in the
// client's record format.
void logRecord(mlog::Level level, const std::string& text);

}  // namespace player
