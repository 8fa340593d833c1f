#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace updater {

// Standard reflected CRC-32 (zlib's crc32 started from 0).
uint32_t crc32Of(const void* data, size_t length);

// True when `path` exists, is exactly `size` bytes (and not empty), and its
// bytes, read through one read-only mapping of the whole file, have `crc`.
bool checkFile(const std::string& path, uint32_t size, uint32_t crc);

// CRC-32 of a whole file through a read-only mapping; false when the file
// cannot be opened or mapped (an empty file cannot be mapped).
bool fileCrc(const std::string& path, uint64_t& size, uint32_t& crc);

}  // namespace updater
