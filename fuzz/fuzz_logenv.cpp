// The log level settings (VORNASK_LOG) from arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "logging/LevelSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const mlog::LevelSettings settings = mlog::parseLevelSettings(text);
  if (settings.defaultLevel < 0 || settings.defaultLevel > 7) __builtin_trap();
  for (const auto& item : settings.named) {
    // A name is never empty and never swallows a separator; every level is one of the eight.
    if (item.first.empty() || item.first.find_first_of(",=") != std::string::npos) __builtin_trap();
    if (item.second < 0 || item.second > 7) __builtin_trap();
    if (settings.levelOf(item.first) != item.second) __builtin_trap();
  }
  return 0;
}
