// Crafted cabinets (as a web server may send flash.cab) through libmspack: iteration and
// extraction of every entry up to 1 MiB into a private folder.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/cab/Cabinet.h"

namespace {

char folderName[] = "/tmp/fuzz_cabinet.XXXXXX";

void removeFolder() {
  ::rmdir(folderName);
}

const std::string& folder() {
  static const std::string path = [] {
    if (!::mkdtemp(folderName)) __builtin_trap();
    std::atexit(removeFolder);
    return std::string(folderName);
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string cabinet = folder() + "/in.cab";
  const std::string target = folder() + "/out";
  {
    std::ofstream out(cabinet, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  platform::iterateCabinet(cabinet, [&](const platform::CabinetEntry& entry, std::string& path) {
    if (entry.size > (1u << 20)) return platform::CabinetAnswer::Skip;
    path = target;
    return platform::CabinetAnswer::Extract;
  });
  std::remove(target.c_str());
  std::remove(cabinet.c_str());
  return 0;
}
