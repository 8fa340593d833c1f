#pragma once

#include <cstddef>
#include <random>
#include <string>

namespace vtest {

// `size` pseudo-random bytes, the same for a seed.
inline std::string randomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

}  // namespace vtest
