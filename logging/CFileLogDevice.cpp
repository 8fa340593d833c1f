#include "logging/CFileLogDevice.h"

#include <utility>

namespace mlog {

CFileLogDevice::CFileLogDevice(std::string name, std::FILE* file, int maxLevel)
    : LogDevice(std::move(name), maxLevel), file_(file) {}

CFileLogDevice::~CFileLogDevice() = default;

void CFileLogDevice::write(int, const char* text, std::size_t length) {
  // Without a usable output the record is dropped.
  flockfile(file_);
  fwrite_unlocked(text, 1, length, file_);
  fflush_unlocked(file_);
  funlockfile(file_);
}

}  // namespace mlog
