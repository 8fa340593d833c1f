#include "updater/FileCheck.h"

#include <libdeflate.h>
#include <boost/interprocess/file_mapping.hpp>
#include <boost/interprocess/mapped_region.hpp>

namespace updater {

namespace bip = boost::interprocess;

uint32_t crc32Of(const void* data, size_t length) {
  return libdeflate_crc32(0, data, length);
}

namespace {

// Size of the open file, taken from the mapping object itself.
bool mappedCrc(const std::string& path, uint64_t& size, uint32_t& crc, const uint64_t* expected) {
  try {
    bip::file_mapping file(path.c_str(), bip::read_only);
    bip::offset_t length = 0;
    if (!bip::ipcdetail::get_file_size(file.get_mapping_handle().handle, length) || length < 0) return false;
    size = static_cast<uint64_t>(length);
    if (expected && size != *expected) return false;
    if (size == 0) return false;
    bip::mapped_region region(file, bip::read_only, 0, static_cast<std::size_t>(size));
    region.advise(bip::mapped_region::advice_sequential);
    crc = crc32Of(region.get_address(), region.get_size());
    return true;
  } catch (const bip::interprocess_exception&) {
    return false;
  }
}

}  // namespace

bool fileCrc(const std::string& path, uint64_t& size, uint32_t& crc) {
  return mappedCrc(path, size, crc, nullptr);
}

bool checkFile(const std::string& path, uint32_t size, uint32_t crc) {
  uint64_t actual = 0;
  uint32_t actualCrc = 0;
  const uint64_t expected = size;
  return mappedCrc(path, actual, actualCrc, &expected) && actualCrc == crc;
}

}  // namespace updater
