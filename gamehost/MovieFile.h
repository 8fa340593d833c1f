#pragma once

#include <cstdint>
#include <string>

#include "platform/files/GuardedFile.h"

namespace gamehost {

// The text file the movie writes lines to ("writestring"): UTF-8 with a
// byte-order mark when new, lines ended by CR LF, written through at once. It
// stays open until another name is asked for or close().
class MovieFile {
 public:
  // A file grows to this size at most; a line that does not fit is refused.
  static constexpr std::uint64_t sizeLimit = 16u << 20;

  // `folder`: where names are resolved (the working directory when empty).
  explicit MovieFile(std::string folder = {});

  // Refused, with a WRN record and nothing written (the current file stays as
  // it was): absolute names, ".." parts, a last part starting with ".", the
  // files the client and its updater manage, a way through a symbolic link or
  // out of the folder, and a line past sizeLimit.
  void write(const std::u16string& name, const std::u16string& text);
  void close();

  const std::u16string& currentName() const { return name_; }
  bool isOpen() const { return file_.isOpen(); }

  // Absolute names and ".." parts are refused.
  static bool acceptableName(const std::string& name);
  // The client's own files, and any name whose last part starts with ".".
  static bool reservedName(const std::string& name);

 private:
  std::string folder_;
  std::u16string name_;
  platform::GuardedFile file_;
};

}  // namespace gamehost
