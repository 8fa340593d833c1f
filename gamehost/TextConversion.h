#pragma once

#include <string>

namespace gamehost {

// UTF-16 to UTF-8 unit by unit (one, two or three bytes); a valid surrogate
// pair becomes one four-byte sequence, a lone half three bytes.
std::string utf16ToUtf8(const std::u16string& text);

// UTF-8 to UTF-16: one-, two- and three-byte sequences; a valid four-byte
// sequence becomes a surrogate pair; any other lead byte from 0xF0 and a stray
// continuation byte become U+0000; a sequence cut short or with a bad
// continuation byte ends the conversion.
std::u16string utf8ToUtf16(const std::string& text);

}  // namespace gamehost
