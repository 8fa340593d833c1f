#include "tests/common/Forge.h"

#include <stdexcept>

namespace vtest {

namespace {

const uint32_t polynomial = 0xEDB88320u;

uint32_t feed(uint32_t reg, const std::string& bytes, size_t end) {
  for (size_t i = 0; i < end; ++i) {
    reg ^= static_cast<unsigned char>(bytes[i]);
    for (int bit = 0; bit < 8; ++bit) reg = reg & 1 ? (reg >> 1) ^ polynomial : reg >> 1;
  }
  return reg;
}

}  // namespace

uint32_t crc32(const std::string& bytes) {
  return ~feed(0xFFFFFFFFu, bytes, bytes.size());
}

std::string forgeCrc(std::string content, uint32_t crc) {
  if (content.size() < 4) throw std::invalid_argument("forgeCrc needs four bytes to choose");
  const size_t tail = content.size() - 4;
  const uint32_t before = feed(0xFFFFFFFFu, content, tail);
  // Each bit step is linear and invertible: the polynomial's top bit tells
  // whether the step that led here xored it in.
  uint32_t reg = ~crc;
  for (int bit = 0; bit < 32; ++bit) reg = reg & 0x80000000u ? ((reg ^ polynomial) << 1) | 1 : reg << 1;
  const uint32_t word = reg ^ before;
  for (int i = 0; i < 4; ++i)
    content[tail + static_cast<size_t>(i)] = static_cast<char>((word >> (8 * i)) & 0xFF);
  return content;
}

}  // namespace vtest
