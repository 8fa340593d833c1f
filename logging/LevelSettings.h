#pragma once

#include "logging/Levels.h"

#include <map>
#include <string>

namespace mlog {

// Participant levels read from a text such as the environment variable VORNASK_LOG:
// "7" for every participant, "http=7,download=6" per name, or both ("5,http=7").
// Items are separated by commas; spaces around names and numbers are ignored. An item whose
// level is not a decimal number from 0 to 7, or whose name is empty, is ignored.
struct LevelSettings {
  int defaultLevel = mlog::defaultLevel;
  std::map<std::string, int> named;

  // The level of a new participant of this name.
  int levelOf(const std::string& name) const;
};

LevelSettings parseLevelSettings(const std::string& text);

}  // namespace mlog
