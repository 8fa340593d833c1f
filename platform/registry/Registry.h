#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The current user's store: $XDG_CONFIG_HOME, else ~/.config.
struct RegistryRoot {
  std::string folder;
};
RegistryRoot openCurrentUser();

// A key such as "Software\Ondrel\Vornask" is the folder Ondrel/Vornask under
// the root; each string value is one file in it. Results are 0 or an errno
// value (ENOENT: no such key or value).
class RegistryKey {
 public:
  RegistryKey() = default;

  int open(const RegistryRoot& root, const std::string& subKey);
  // Creates the key's folders when missing.
  int create(const RegistryRoot& root, const std::string& subKey);
  bool isOpen() const { return !folder_.empty(); }
  void close() { folder_.clear(); }
  const std::string& folder() const { return folder_; }

  // maxBytes (0: no limit) counts the text and its terminating zero; a longer
  // value gives EOVERFLOW.
  int queryString(const std::string& name, std::string& value, std::size_t maxBytes = 0) const;
  // Atomic: temporary file, fsync, rename.
  int setString(const std::string& name, const std::string& value) const;
  int deleteValue(const std::string& name) const;

 private:
  std::string folder_;
};

// Folder of a key under a root; empty when the key name is not acceptable.
std::string registryKeyFolder(const RegistryRoot& root, const std::string& subKey);

}  // namespace platform
