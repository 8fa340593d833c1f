#include "platform/process/CommandLine.h"

namespace platform {
namespace {

bool blank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> splitCommandLine(const std::string& line, const std::string& programPath) {
  std::vector<std::string> items;
  std::size_t i = 0;
  const std::size_t n = line.size();
  if (n == 0) return {programPath};
  // First item: no escapes.
  std::string first;
  if (line[0] == '"') {
    i = 1;
    while (i < n && line[i] != '"') first += line[i++];
    if (i < n) ++i;
  } else {
    while (i < n && !blank(line[i])) first += line[i++];
  }
  items.push_back(first);
  for (;;) {
    while (i < n && blank(line[i])) ++i;
    if (i >= n) break;
    std::string item;
    bool quoted = false;
    while (i < n && (quoted || !blank(line[i]))) {
      if (line[i] == '\\') {
        std::size_t slashes = 0;
        while (i < n && line[i] == '\\') ++slashes, ++i;
        if (i < n && line[i] == '"') {
          item.append(slashes / 2, '\\');
          if (slashes % 2) {
            item += '"';
            ++i;
          }
        } else {
          item.append(slashes, '\\');
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < n && line[i + 1] == '"') {
          item += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        item += line[i++];
      }
    }
    items.push_back(item);
  }
  return items;
}

std::string joinCommandLine(const std::vector<std::string>& items) {
  std::string out;
  for (std::size_t k = 0; k < items.size(); ++k) {
    const std::string& item = items[k];
    if (k) out += ' ';
    const bool needsQuotes = item.empty() || item.find_first_of(" \t\"") != std::string::npos;
    if (k == 0) {
      out += needsQuotes && item.find('"') == std::string::npos ? '"' + item + '"' : item;
      continue;
    }
    if (!needsQuotes && item.find('\\') == std::string::npos) {
      out += item;
      continue;
    }
    out += '"';
    std::size_t slashes = 0;
    for (char c : item) {
      if (c == '\\') {
        ++slashes;
        continue;
      }
      if (c == '"') {
        out.append(slashes * 2 + 1, '\\');
      } else {
        out.append(slashes, '\\');
      }
      slashes = 0;
      out += c;
    }
    out.append(slashes * 2, '\\');
    out += '"';
  }
  return out;
}

}  // namespace platform
