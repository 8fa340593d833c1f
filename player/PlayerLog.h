#pragma once

#include <string>

namespace player {

// One log record of the participant "flash" on standard output, in the
// client's record format; level 3 is "ERR", 4 "WRN".
void logRecord(int level, const std::string& text);

}  // namespace player
