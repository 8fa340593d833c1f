#pragma once

#include <cstdint>
#include <string>

namespace vtest {

// The standard reflected CRC-32 (zlib's crc32 from 0).
uint32_t crc32(const std::string& bytes);

// `content` (at least four bytes) with its last four bytes replaced so that
// the whole has the CRC-32 `crc`: a forgery of the same size and CRC.
std::string forgeCrc(std::string content, uint32_t crc);

}  // namespace vtest
