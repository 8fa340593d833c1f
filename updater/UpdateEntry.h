#pragma once

#include <cstdint>
#include <string>

// One file of the update plan.
struct UpdateEntry {
  std::string name;    // name field of the file list, unchanged
  std::string target;  // local path the file finally takes
  uint32_t size = 0;
  uint32_t crc = 0;
  bool sound = false;   // name begins with "music/"
  bool client = false;  // the client executable itself
  bool started = false;
};
