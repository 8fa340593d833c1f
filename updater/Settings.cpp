#include "updater/Settings.h"

#include "updater/FileList.h"

#include <fstream>
#include <iterator>

namespace updater {

const char* const settingsFileName = "vornask.ini";

std::vector<std::pair<std::string, int32_t>> parseSettings(const std::string& content) {
  std::vector<std::pair<std::string, int32_t>> result;
  for (const std::string& line : splitLines(content)) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
      result.emplace_back(line, 0);
      continue;
    }
    size_t begin = equals + 1;
    const bool negative = begin < line.size() && line[begin] == '-';
    if (negative) ++begin;
    uint32_t value = parseDecimal(line, begin, line.size());
    if (negative) value = 0u - value;
    result.emplace_back(line.substr(0, equals), static_cast<int32_t>(value));
  }
  return result;
}

std::vector<std::pair<std::string, int32_t>> readSettings(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return parseSettings(content);
}

bool writeSettings(const std::string& path, bool downloadSounds, bool fullyDownloaded) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out << "downloadSounds=" << (downloadSounds ? '1' : '0') << '\n'
      << "fullyDownloaded=" << (fullyDownloaded ? '1' : '0') << '\n';
  return static_cast<bool>(out.flush());
}

}  // namespace updater
