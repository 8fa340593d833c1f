#include "player/PlayerLog.h"

#include "logging/Log.h"

namespace player {
namespace {

MLOG_DEFINE_PARTICIPANT(flashLog, "flash")

}  // namespace

void logRecord(mlog::Level level, const std::string& text) {
  MLOG(flashLog(), level) << text;
}

}  // namespace player
