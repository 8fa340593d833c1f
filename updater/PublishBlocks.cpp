#include "updater/BlockIndex.h"
#include "updater/FileList.h"

#include <boost/interprocess/file_mapping.hpp>
#include <boost/interprocess/mapped_region.hpp>
#include <filesystem>
#include <stdexcept>

#include "platform/files/Files.h"

namespace updater {

namespace fs = std::filesystem;
namespace bip = boost::interprocess;

size_t publishBlockIndexes(const std::string& folder, const std::string& listText) {
  fs::remove_all(fs::path(folder) / "library/blocks");
  size_t written = 0;
  for (const std::string& line : splitLines(listText)) {
    ListLine parsed;
    if (!parseListLine(line, parsed) || parsed.size < blockIndexMinimum) continue;
    const fs::path file = fs::path(folder) / parsed.name;
    BlockIndex index;
    try {
      bip::file_mapping mapping(file.c_str(), bip::read_only);
      bip::mapped_region region(mapping, bip::read_only);
      region.advise(bip::mapped_region::advice_sequential);
      if (region.get_size() != parsed.size)
        throw std::runtime_error("changed while published: " + file.string());
      index = indexOf(static_cast<const unsigned char*>(region.get_address()), parsed.size,
                      blockSizeFor(parsed.size));
    } catch (const bip::interprocess_exception& e) {
      throw std::runtime_error("cannot read " + file.string() + ": " + e.what());
    }
    index.crc = parsed.crc;
    const fs::path target = fs::path(folder) / blockIndexName(parsed.name);
    fs::create_directories(target.parent_path());
    if (const int err = platform::writeFileAtomically(target.string(), formatBlockIndex(index), 0644))
      throw std::runtime_error("cannot write " + target.string() + ": error " + std::to_string(err));
    ++written;
  }
  return written;
}

}  // namespace updater
