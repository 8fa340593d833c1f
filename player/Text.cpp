#include "player/Text.h"

namespace player {
namespace {

constexpr char32_t replacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void appendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 | (c >> 10));
    out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
  }
}

// Length of the sequence led by `lead` and the bits it carries; 0 for a bad lead byte.
int sequenceLength(unsigned char lead, char32_t& bits) {
  if (lead < 0x80) return bits = lead, 1;
  if (lead >= 0xC2 && lead < 0xE0) return bits = lead & 0x1F, 2;
  if (lead >= 0xE0 && lead < 0xF0) return bits = lead & 0x0F, 3;
  if (lead >= 0xF0 && lead < 0xF5) return bits = lead & 0x07, 4;
  return 0;
}

bool valid(char32_t c, int length) {
  static const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  return c >= least[length] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

}  // namespace

std::string jsStringLiteral(const std::u16string& text) {
  static const char hex[] = "0123456789abcdef";
  std::string out = "\"";
  out.reserve(text.size() + 2);
  for (char16_t u : text) {
    if (u >= 0x20 && u < 0x7F && u != '"' && u != '\\' && u != '<') {
      out += static_cast<char>(u);
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += hex[(u >> shift) & 0xF];
    }
  }
  out += '"';
  return out;
}

std::u16string utf8ToUtf16(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t c = 0;
    const int length = sequenceLength(static_cast<unsigned char>(text[i]), c);
    int taken = 1;
    if (length > 0 && i + length <= text.size()) {
      while (taken < length && (static_cast<unsigned char>(text[i + taken]) & 0xC0) == 0x80)
        c = (c << 6) | (static_cast<unsigned char>(text[i + taken++]) & 0x3F);
    }
    if (length == 0 || taken != length || !valid(c, length)) {
      appendUtf16(out, replacement);
      i += taken;
    } else {
      appendUtf16(out, c);
      i += length;
    }
  }
  return out;
}

std::string utf16ToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = replacement;
    }
    appendUtf8(out, c);
  }
  return out;
}

}  // namespace player
