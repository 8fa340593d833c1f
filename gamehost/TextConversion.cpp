#include "gamehost/TextConversion.h"

namespace gamehost {
namespace {

bool isHigh(char32_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool isLow(char32_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}
bool isContinuation(unsigned char b) {
  return (b & 0xC0) == 0x80;
}

// The code point of a four-byte sequence at `p`, or 0 when it is not a valid one.
char32_t fourByteValue(const std::string& s, std::size_t p) {
  if (p + 3 >= s.size()) return 0;
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[p + i]); };
  if (!isContinuation(b(1)) || !isContinuation(b(2)) || !isContinuation(b(3))) return 0;
  const char32_t c = (char32_t(b(0) & 0x07) << 18) | (char32_t(b(1) & 0x3F) << 12) |
                     (char32_t(b(2) & 0x3F) << 6) | char32_t(b(3) & 0x3F);
  return c >= 0x10000 && c <= 0x10FFFF ? c : 0;
}

}  // namespace

std::string utf16ToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t u = text[i];
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (isHigh(u) && i + 1 < text.size() && isLow(text[i + 1])) {
      const char32_t c = 0x10000 + ((u - 0xD800) << 10) + (char32_t(text[++i]) - 0xDC00);
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

std::u16string utf8ToUtf16(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      out += char16_t(lead);
      ++i;
    } else if (lead < 0xC0) {  // stray continuation byte
      out += char16_t(0);
      ++i;
    } else if (lead >= 0xF0) {
      if (const char32_t c = fourByteValue(text, i)) {
        out += char16_t(0xD800 + ((c - 0x10000) >> 10));
        out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        i += 4;
      } else {
        out += char16_t(0);
        ++i;
      }
    } else {
      const std::size_t length = lead < 0xE0 ? 2 : 3;
      if (i + length > text.size()) break;
      char32_t c = lead & (length == 2 ? 0x1F : 0x0F);
      for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if (!isContinuation(b)) return out;
        c = (c << 6) | (b & 0x3F);
      }
      out += char16_t(c);
      i += length;
    }
  }
  return out;
}

}  // namespace gamehost
