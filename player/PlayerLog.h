#pragma once

#include <string>

#include "logging/Levels.h"

namespace player {

// One log record of the participant "flash", written when its level (VORNASK_LOG) admits it.
void logRecord(mlog::Level level, const std::string& text);

}  // namespace player
