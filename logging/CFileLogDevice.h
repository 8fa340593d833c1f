#pragma once

#include "logging/LogDevice.h"

#include <cstdio>

namespace mlog {

// Writes each record with one fwrite and flushes; the stream is not owned.
class CFileLogDevice : public LogDevice {
 public:
  CFileLogDevice(std::string name, std::FILE* file, int maxLevel);
  ~CFileLogDevice() override;

  void write(int level, const char* text, std::size_t length) override;

 private:
  std::FILE* file_;
};

}  // namespace mlog
