#include "player/MovieFolder.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "support/Text.h"

namespace player {
namespace {

std::string realPath(const std::string& path) {
  char buffer[PATH_MAX];
  return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

bool endsWith(const std::string& text, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

}  // namespace

MovieUrl splitMovieUrl(const std::string& url) {
  const std::size_t slash = url.rfind('/');
  const std::size_t mark = url.find('?', slash == std::string::npos ? 0 : slash);
  if (mark == std::string::npos) return {url, {}};
  return {url.substr(0, mark), url.substr(mark + 1)};
}

bool percentDecode(const std::string& text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return false;
      const int high = mstd::hexValue(text[i + 1]);
      const int low = mstd::hexValue(text[i + 2]);
      if (high < 0 || low < 0) return false;
      c = static_cast<char>(high * 16 + low);
      i += 2;
    }
    if (c == '\0') return false;
    out += c;
  }
  return true;
}

MovieFolder::MovieFolder(const std::string& folder) : root_(realPath(folder)) {
  if (root_ == "/") root_.clear();  // the whole file system is no movie folder
}

std::string MovieFolder::resolve(const std::string& encodedPath) const {
  std::string path;
  if (root_.empty() || !percentDecode(encodedPath, path) || path.empty() || path[0] == '/') return {};
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part == ".." || part == "." || part.empty()) return {};
    start = end + 1;
  }
  const std::string real = realPath(root_ + "/" + path);
  if (real.size() <= root_.size() + 1 || real.compare(0, root_.size(), root_) != 0 ||
      real[root_.size()] != '/')
    return {};
  struct stat info;
  if (::stat(real.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  return real;
}

const char* contentTypeOf(const std::string& name) {
  static const struct {
    const char* suffix;
    const char* type;
  } types[] = {
      {".swf", "application/x-shockwave-flash"},
      {".html", "text/html; charset=utf-8"},
      {".js", "text/javascript"},
      {".wasm", "application/wasm"},
      {".json", "application/json"},
      {".txt", "text/plain; charset=utf-8"},
      {".xml", "application/xml"},
      {".png", "image/png"},
      {".jpg", "image/jpeg"},
      {".gif", "image/gif"},
      {".mp3", "audio/mpeg"},
      {".ttf", "font/ttf"},
  };
  for (const auto& t : types)
    if (endsWith(name, t.suffix)) return t.type;
  return "application/octet-stream";
}

}  // namespace player
