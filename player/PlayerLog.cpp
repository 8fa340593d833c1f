#include "player/PlayerLog.h"

#include <cstdio>

#include "logging/Log.h"

namespace player {

void logRecord(mlog::Level level, const std::string& text) {
  static constexpr char name[] = "flash";
  char header[mlog::detail::headerRoom + sizeof name];
  std::string line(header, mlog::detail::formatHeader(header, level, name, sizeof name - 1));
  line += text;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

}  // namespace player
