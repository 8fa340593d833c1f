#include "gamehost/MovieFile.h"

#include <filesystem>

#include "support/Text.h"

namespace gamehost {

MovieFile::MovieFile(std::string folder) : folder_(std::move(folder)) {}

bool MovieFile::acceptableName(const std::string& name) {
  if (!name.empty() && name[0] == '/') return false;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && name[i] != '/') continue;
    if (i - start == 2 && name.compare(start, 2, "..") == 0) return false;
    start = i + 1;
  }
  return true;
}

void MovieFile::write(const std::u16string& name, const std::u16string& text) {
  const std::string narrow = mstd::utf16ToUtf8(name, mstd::Malformed::Bridge);
  if (!acceptableName(narrow)) return;
  if (name != name_) {
    close();
    std::string path = folder_.empty() ? std::filesystem::current_path().string() : folder_;
    if (!path.empty() && path.back() != '/' && !narrow.empty() && narrow[0] != '/') path += '/';
    path += narrow;
    std::unique_ptr<std::FILE, Closer> f(std::fopen(path.c_str(), "ab"));
    if (f) {
      if (std::fseek(f.get(), 0, SEEK_END) == 0 && std::ftell(f.get()) == 0)
        std::fwrite("\xEF\xBB\xBF", 1, 3, f.get());
      file_ = std::move(f);
      name_ = name;
    }
  }
  if (file_) {
    const std::string line = mstd::utf16ToUtf8(text, mstd::Malformed::Bridge) + "\r\n";
    std::fwrite(line.data(), 1, line.size(), file_.get());
    std::fflush(file_.get());
  }
}

void MovieFile::close() {
  file_.reset();
  name_.clear();
}

}  // namespace gamehost
