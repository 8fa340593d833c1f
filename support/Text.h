#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mstd {

// What a conversion makes of input that is not well-formed.
enum class Malformed {
  // The movie bridge's rule, which round-trips every UTF-16 text.
  // UTF-16 to UTF-8: a valid surrogate pair becomes one four-byte sequence,
  // every other unit one to three bytes on its own (a lone half three bytes).
  // UTF-8 to UTF-16: a valid four-byte sequence becomes a surrogate pair, any
  // other lead byte from 0xF0 and a stray continuation byte become U+0000, and
  // a two- or three-byte sequence cut short or with a bad continuation byte
  // ends the conversion.
  Bridge,
  // Every malformed piece becomes U+FFFD and the conversion goes on: a lone
  // surrogate; a byte that cannot lead a sequence; a lead byte with the
  // continuation bytes that follow it (at most as many as it announces) when
  // they are too few or encode an overlong form, a surrogate or a value above
  // U+10FFFF.
  Replace,
};

std::u16string utf8ToUtf16(std::string_view text, Malformed rule);
std::string utf16ToUtf8(std::u16string_view text, Malformed rule);

// The hexadecimal digit of the low four bits of `value`.
inline char hexDigit(unsigned value, bool upper = false) {
  return (upper ? "0123456789ABCDEF" : "0123456789abcdef")[value & 15];
}

// Two lower-case hexadecimal digits for each byte.
std::string hexBytes(const unsigned char* data, std::size_t size);

// The value of a hexadecimal digit of either case, -1 for any other character.
int hexValue(char c);

// Letters, digits and "-._~", which no part of a URL needs to encode.
bool unreservedByte(unsigned char byte);

// Each byte for which `keep` is false becomes "%XX" (upper-case digits).
std::string percentEncode(std::string_view text, bool (*keep)(unsigned char byte));

// Text for XML character data or an attribute value: '&', '<', '>', '"' and
// '\'' become entity references.
std::u16string xmlEscape(std::u16string_view text);

// A JavaScript string literal (double-quoted) holding exactly these UTF-16
// units: everything outside printable ASCII, and the quote, backslash and
// '<', is escaped, so the literal can neither end the string nor a script
// element.
std::string jsStringLiteral(std::u16string_view text);

}  // namespace mstd
