#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace gamehost {

// The text file the movie writes lines to ("writestring"): UTF-8 with a
// byte-order mark when new, lines ended by CR LF, flushed after each line. It
// stays open until another name is asked for or close().
class MovieFile {
 public:
  // `folder`: where names are resolved (the working directory when empty).
  explicit MovieFile(std::string folder = {});

  // Names that are absolute or have a ".." component are refused: nothing is
  // written and the current file stays as it was.
  void write(const std::u16string& name, const std::u16string& text);
  void close();

  const std::u16string& currentName() const { return name_; }
  bool isOpen() const { return file_ != nullptr; }

  static bool acceptableName(const std::string& name);

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::string folder_;
  std::u16string name_;
  std::unique_ptr<std::FILE, Closer> file_;
};

}  // namespace gamehost
