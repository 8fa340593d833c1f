#include "updater/FileList.h"

namespace updater {

uint32_t parseDecimal(const std::string& text, size_t begin, size_t end) {
  uint32_t value = 0;
  for (size_t i = begin; i < end; ++i)
    value = value * 10u + (static_cast<uint32_t>(static_cast<unsigned char>(text[i])) - '0');
  return value;
}

uint32_t parseHex(const std::string& text, size_t begin, size_t end) {
  uint32_t value = 0;
  for (size_t i = begin; i < end; ++i) {
    const uint32_t c = static_cast<unsigned char>(text[i]);
    const uint32_t digit = c <= '9' ? c - '0' : c <= 'F' ? c - 55u : c - 87u;
    value = value * 16u + digit;
  }
  return value;
}

bool parseListLine(const std::string& line, ListLine& out) {
  const size_t first = line.find(':');
  if (first == std::string::npos) return false;
  const size_t second = line.find(':', first + 1);
  if (second == std::string::npos) return false;
  const size_t third = line.find(':', second + 1);
  if (third == std::string::npos) return false;
  size_t crcEnd = line.find(':', third + 1);
  if (crcEnd == std::string::npos) crcEnd = line.size();
  out.name = line.substr(0, first);
  out.size = parseDecimal(line, second + 1, third);
  out.crc = parseHex(line, third + 1, crcEnd);
  return true;
}

bool isSafeListName(const std::string& name) {
  // A NUL would cut the path short where the system reads it.
  if (name.empty() || name[0] == '/' || name.find('\0') != std::string::npos) return false;
  size_t begin = 0;
  while (begin <= name.size()) {
    size_t end = name.find('/', begin);
    if (end == std::string::npos) end = name.size();
    if (name.compare(begin, end - begin, "..") == 0) return false;
    begin = end + 1;
  }
  return true;
}

std::vector<std::string> splitLines(const std::string& body) {
  std::vector<std::string> lines;
  size_t begin = 0;
  while (begin < body.size()) {
    size_t end = body.find('\n', begin);
    if (end == std::string::npos) end = body.size();
    lines.emplace_back(body, begin, end - begin);
    begin = end + 1;
  }
  return lines;
}

}  // namespace updater
