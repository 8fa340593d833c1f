#include "installer/PathList.h"

#include <filesystem>

namespace installer {

bool listsFolder(const std::string& value, const std::string& folder, bool followLinks) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = value.find(',', start);
    const std::size_t end = comma == std::string::npos ? value.size() : comma;
    if (value.compare(start, end - start, folder) == 0) return true;
    if (followLinks && end > start && value[start] == '/') {
      std::error_code ec;
      const auto real = std::filesystem::canonical(value.substr(start, end - start), ec);
      if (!ec && real == folder) return true;
    }
    if (comma == std::string::npos) return false;
    start = comma + 1;
  }
}

std::string withFinalSlash(const std::string& text) {
  return !text.empty() && text.back() == '/' ? text : text + "/";
}

std::string recordedFolder(const std::string& text) {
  const std::string folder = withFinalSlash(text);
  return folder.substr(0, folder.size() - 1);
}

std::string absoluteFolder(const std::string& text, const std::string& home, const std::string& base) {
  std::filesystem::path path;
  if (!home.empty() && (text == "~" || text.rfind("~/", 0) == 0))
    path = std::filesystem::path(home) / text.substr(text.size() > 1 ? 2 : 1);
  else
    path = std::filesystem::path(base) / text;  // an absolute text replaces `base`
  std::string folder = path.lexically_normal().string();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string appendFolder(const std::string& value, bool hadValue, const std::string& folder) {
  return hadValue ? value + "," + folder : folder;
}

}  // namespace installer
