#pragma once

#include <cstdint>
#include <string>

namespace platform {

// A regular file opened for appending strictly below a folder: the name is
// resolved relative to the folder with no symbolic link and no step outside it
// (openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS). Subfolders must exist.
class GuardedFile {
 public:
  GuardedFile() = default;
  ~GuardedFile();
  GuardedFile(GuardedFile&& other) noexcept;
  GuardedFile& operator=(GuardedFile&& other) noexcept;

  // Opens (creating) `name` below `folder`: 0 or errno (ELOOP for a link,
  // EXDEV for a way out, EISDIR or EINVAL for something that is no regular file).
  int open(const std::string& folder, const std::string& name);
  // Appends `bytes` when the file stays within `limit` bytes, else EFBIG and nothing is written.
  int append(const std::string& bytes, std::uint64_t limit);
  std::uint64_t size() const { return size_; }
  bool isOpen() const { return fd_ >= 0; }
  void close();

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

}  // namespace platform
