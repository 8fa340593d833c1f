#pragma once

#include <string>

namespace platform {

// An exclusive advisory lock (flock) on a file, held while the object lives.
// The descriptor is close-on-exec, so processes started later do not hold it.
class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Creates `path` if needed and takes its lock without waiting: 0, EWOULDBLOCK
  // when another process holds it, or the errno of the failure.
  int take(const std::string& path);
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace platform
