// vornask.ini from arbitrary bytes: what is read, written back in the file's form, reads the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "updater/Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto pairs = updater::parseSettings(text);
  std::string written;
  for (const auto& [key, value] : pairs) {
    // A key never runs over a line or past its "=".
    if (key.find_first_of("\n=") != std::string::npos) __builtin_trap();
    written += key + "=" + std::to_string(value) + "\n";
  }
  if (updater::parseSettings(written) != pairs) __builtin_trap();
  return 0;
}
