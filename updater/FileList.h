#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace updater {

// One parsed line of "library/crc.txt": name:ignored:size:crc[:...]
struct ListLine {
  std::string name;
  uint32_t size = 0;
  uint32_t crc = 0;
};

// Fills `out` from `line` (without its LF). False when the line has fewer
// than three ':' characters. Digits are not validated (32-bit wrap).
bool parseListLine(const std::string& line, ListLine& out);

// Names the list may use: relative, non-empty, no ".." component, no NUL.
bool isSafeListName(const std::string& name);

// Splits at LF; a last line without LF counts, an empty tail does not.
std::vector<std::string> splitLines(const std::string& body);

// Decimal digit rule with 32-bit wrap: each char adds (c - '0').
uint32_t parseDecimal(const std::string& text, size_t begin, size_t end);
// Hex digit rule with 32-bit wrap: <= '9' -> c-'0', <= 'F' -> c-55, else c-87.
uint32_t parseHex(const std::string& text, size_t begin, size_t end);

}  // namespace updater
