#include "support/Text.h"

#include <algorithm>
#include <iterator>

namespace mstd {
namespace {

constexpr char32_t replacement = 0xFFFD;

bool isHigh(char32_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool isLow(char32_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}
bool isContinuation(unsigned char b) {
  return (b & 0xC0) == 0x80;
}
unsigned char byteAt(std::string_view s, std::size_t i) {
  return static_cast<unsigned char>(s[i]);
}

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

// The code point of a four-byte sequence at `p`, or 0 when it is not a valid one.
char32_t fourByteValue(std::string_view s, std::size_t p) {
  if (p + 3 >= s.size()) return 0;
  if (!isContinuation(byteAt(s, p + 1)) || !isContinuation(byteAt(s, p + 2)) ||
      !isContinuation(byteAt(s, p + 3)))
    return 0;
  const char32_t c = (char32_t(byteAt(s, p) & 0x07) << 18) | (char32_t(byteAt(s, p + 1) & 0x3F) << 12) |
                     (char32_t(byteAt(s, p + 2) & 0x3F) << 6) | char32_t(byteAt(s, p + 3) & 0x3F);
  return c >= 0x10000 && c <= 0x10FFFF ? c : 0;
}

std::u16string bridgeUtf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = byteAt(text, i);
    if (lead < 0x80) {
      out += char16_t(lead);
      ++i;
    } else if (lead < 0xC0) {  // stray continuation byte
      out += char16_t(0);
      ++i;
    } else if (lead >= 0xF0) {
      if (const char32_t c = fourByteValue(text, i)) {
        appendUtf16(out, c);
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
        if (!isContinuation(byteAt(text, i + k))) return out;
        c = (c << 6) | (byteAt(text, i + k) & 0x3F);
      }
      out += char16_t(c);
      i += length;
    }
  }
  return out;
}

// Length of the sequence led by `lead` and the bits it carries; 0 for a bad lead byte.
int sequenceLength(unsigned char lead, char32_t& bits) {
  if (lead < 0x80) return bits = lead, 1;
  if (lead >= 0xC2 && lead < 0xE0) return bits = lead & 0x1F, 2;
  if (lead >= 0xE0 && lead < 0xF0) return bits = lead & 0x0F, 3;
  if (lead >= 0xF0 && lead < 0xF5) return bits = lead & 0x07, 4;
  return 0;
}

bool validScalar(char32_t c, int length) {
  static const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  return c >= least[length] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

std::u16string replacingUtf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t c = 0;
    const int length = sequenceLength(byteAt(text, i), c);
    int taken = 1;
    if (length > 0 && i + length <= text.size()) {
      while (taken < length && isContinuation(byteAt(text, i + taken)))
        c = (c << 6) | (byteAt(text, i + taken++) & 0x3F);
    }
    if (length == 0 || taken != length || !validScalar(c, length)) {
      appendUtf16(out, replacement);
      i += taken;
    } else {
      appendUtf16(out, c);
      i += length;
    }
  }
  return out;
}

}  // namespace

std::u16string utf8ToUtf16(std::string_view text, Malformed rule) {
  return rule == Malformed::Bridge ? bridgeUtf8ToUtf16(text) : replacingUtf8ToUtf16(text);
}

std::string utf16ToUtf8(std::u16string_view text, Malformed rule) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (isHigh(c) && i + 1 < text.size() && isLow(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(text[++i]) - 0xDC00);
    } else if (rule == Malformed::Replace && (isHigh(c) || isLow(c))) {
      c = replacement;
    }
    appendUtf8(out, c);
  }
  return out;
}

std::string hexBytes(const unsigned char* data, std::size_t size) {
  std::string out;
  out.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    out += hexDigit(data[i] >> 4);
    out += hexDigit(data[i]);
  }
  return out;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool unreservedByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

std::string percentEncode(std::string_view text, bool (*keep)(unsigned char byte)) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (keep(byte)) {
      out += c;
    } else {
      out += '%';
      out += hexDigit(byte >> 4, true);
      out += hexDigit(byte, true);
    }
  }
  return out;
}

std::u16string xmlEscape(std::u16string_view text) {
  static constexpr struct {
    char16_t c;
    const char16_t* entity;
  } entities[] = {{u'&', u"&amp;"}, {u'<', u"&lt;"}, {u'>', u"&gt;"}, {u'"', u"&quot;"}, {u'\'', u"&apos;"}};
  std::u16string out;
  out.reserve(text.size());
  for (const char16_t u : text) {
    const auto* e = std::find_if(std::begin(entities), std::end(entities),
                                 [u](const auto& entry) { return entry.c == u; });
    if (e != std::end(entities)) {
      out += e->entity;
    } else {
      out += u;
    }
  }
  return out;
}

std::string jsStringLiteral(std::u16string_view text) {
  std::string out = "\"";
  out.reserve(text.size() + 2);
  for (const char16_t u : text) {
    if (u >= 0x20 && u < 0x7F && u != '"' && u != '\\' && u != '<') {
      out += static_cast<char>(u);
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += hexDigit(u >> shift);
    }
  }
  out += '"';
  return out;
}

}  // namespace mstd
