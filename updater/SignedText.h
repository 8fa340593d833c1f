#pragma once

#include <cstdint>
#include <string>

namespace updater {

// Strict pieces of the signed text formats (lists' manifests, endorsements, root statements).

// False (a reason in `error`) unless `text` is lines each ended by LF, without CR or NUL.
bool plainLines(const std::string& text, std::string& error);
// `text` as 32 raw bytes from 64 lower-case hex digits.
bool hexDigest(const std::string& text, std::string& digest);
// A decimal without sign or leading zeros that fits 64 bits.
bool decimal(const std::string& text, uint64_t& value);
// Splits "key rest" at the first space; false when `line` does not start with `key` + " ".
bool field(const std::string& line, const std::string& key, std::string& rest);

}  // namespace updater
