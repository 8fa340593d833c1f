#include "updater/Mirrors.h"

#include <stdexcept>

namespace updater {

const char* const mirrorListName = "library/mirrors.txt";

namespace {

const char* const header = "vornask-mirrors 1";

bool usableBase(const std::string& url) {
  size_t host = 0;
  if (url.compare(0, 7, "http://") == 0)
    host = 7;
  else if (url.compare(0, 8, "https://") == 0)
    host = 8;
  else
    return false;
  if (url.size() <= host || url[host] == '/') return false;
  for (const char c : url)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
  return true;
}

}  // namespace

std::string mirrorListText(const std::vector<std::string>& mirrors) {
  std::string text = std::string(header) + "\n";
  for (std::string url : mirrors) {
    if (!usableBase(url)) throw std::invalid_argument("not an http:// or https:// base URL: " + url);
    if (url.back() != '/') url += '/';
    text += url + "\n";
  }
  return text;
}

bool parseMirrorList(const std::string& text, std::vector<std::string>& mirrors) {
  mirrors.clear();
  size_t begin = 0;
  bool first = true;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(begin, end - begin);
    begin = end + 1;
    if (first) {
      if (line != header) return false;
      first = false;
    } else if (usableBase(line) && line.back() == '/' && mirrors.size() < maxMirrors) {
      mirrors.push_back(line);
    }
  }
  return !first;
}

}  // namespace updater
