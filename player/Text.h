#pragma once

#include <string>

namespace player {

// A JavaScript string literal (double-quoted) holding exactly these UTF-16 units:
// everything outside printable ASCII, and the quote, backslash and '<', is escaped.
std::string jsStringLiteral(const std::u16string& text);

// UTF-8 to UTF-16; four-byte sequences become surrogate pairs, malformed bytes U+FFFD.
std::u16string utf8ToUtf16(const std::string& text);

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string utf16ToUtf8(const std::u16string& text);

}  // namespace player
