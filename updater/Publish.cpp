#include "updater/Publish.h"

#include "updater/BlockIndex.h"
#include "updater/FileCheck.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace updater {

namespace fs = std::filesystem;

namespace {
const char* const listName = "library/crc.txt";
}

std::string fileListOf(const std::string& folder, PublishResult& result) {
  std::vector<std::pair<std::string, fs::path>> files;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (!item.is_regular_file()) continue;
    const std::string name = item.path().lexically_relative(folder).generic_string();
    if (name == listName || name == std::string(listName) + ".new") continue;
    if (name.rfind("library/blocks/", 0) == 0) continue;  // the block indexes describe listed files
    if (item.file_size() == 0) continue;
    // The name ends at the first ':' and a line at LF: such a name would list another file.
    if (name.find_first_of(":\n") != std::string::npos)
      throw std::runtime_error("a listed name cannot hold ':' or a line end: " + name);
    files.emplace_back(name, item.path());
  }
  std::sort(files.begin(), files.end());

  result = PublishResult();
  std::string text;
  for (const auto& [name, file] : files) {
    uint64_t size = 0;
    uint32_t crc = 0;
    if (!fileCrc(file.string(), size, crc)) throw std::runtime_error("cannot read " + file.string());
    if (size > 0xFFFFFFFFu) throw std::runtime_error("4 GiB or larger: " + file.string());
    char fields[64];
    std::snprintf(fields, sizeof fields, ":0:%llu:%x\n", static_cast<unsigned long long>(size), crc);
    text += name + fields;
    ++result.files;
    result.bytes += size;
  }
  return text;
}

PublishResult publishFolder(const std::string& folder) {
  PublishResult result;
  const std::string text = fileListOf(folder, result);
  const fs::path list = fs::path(folder) / listName;
  fs::create_directories(list.parent_path());
  const fs::path temporary = list.string() + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!(out << text) || !out.flush()) throw std::runtime_error("cannot write " + temporary.string());
  }
  fs::rename(temporary, list);
  result.indexes = publishBlockIndexes(folder, text);
  return result;
}

}  // namespace updater
