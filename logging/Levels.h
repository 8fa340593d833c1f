#pragma once

namespace mlog {

// Lower is more severe. Records use Error to Debug and name their level, never a number:
// MLOG(log, mlog::Debug) is short for MLOG(log, mlog::Level::Debug).
enum Level : int {
  Emergency = 0,
  Alert = 1,
  Critical = 2,
  Error = 3,
  Warning = 4,
  Notice = 5,
  Info = 6,
  Debug = 7,
};

constexpr int defaultLevel = 4;

struct LevelInfo {
  const char* tag;     // "EMG" .. "DBG"
  const char* colour;  // terminal colour sequence
  int attribute;       // console colour attribute
};

// Row of the level table; levels outside 0..7 use the nearest row.
const LevelInfo& levelInfo(int level) noexcept;

}  // namespace mlog
