#include "logging/Levels.h"

namespace mlog {
namespace {

constexpr LevelInfo levelTable[8] = {
    {"EMG", "\033[35;1m", 13},
    {"ALR", "\033[35;1m", 13},
    {"CRT", "\033[35;1m", 13},
    {"ERR", "\033[31;22m", 1},
    {"WRN", "\033[33;1m", 11},
    {"NOT", "\033[37;22m", 15},
    {"INF", "", 7},
    {"DBG", "", 7},
};

}  // namespace

const LevelInfo& levelInfo(int level) noexcept {
  if (level < 0) level = 0;
  if (level > 7) level = 7;
  return levelTable[level];
}

}  // namespace mlog
