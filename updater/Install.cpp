#include "updater/Install.h"

#include <filesystem>

namespace updater {

namespace fs = std::filesystem;

std::string moveIntoPlace(const std::string& temporary, const std::string& target) {
  std::error_code ignored;
  fs::remove(target, ignored);
  const fs::path parent = fs::path(target).parent_path();
  if (!parent.empty()) fs::create_directories(parent, ignored);
  std::error_code error;
  // A plain move: an existing target (one that could not be deleted) is an error.
  if (fs::exists(fs::symlink_status(target, ignored)))
    error = std::make_error_code(std::errc::file_exists);
  else
    fs::rename(temporary, target, error);
  return error ? error.message() : std::string();
}

std::string renameOver(const std::string& temporary, const std::string& target) {
  std::error_code ignored;
  const fs::path parent = fs::path(target).parent_path();
  if (!parent.empty()) fs::create_directories(parent, ignored);
  std::error_code error;
  fs::rename(temporary, target, error);
  return error ? error.message() : std::string();
}

void makeExecutable(const std::string& path) {
  std::error_code ignored;
  const fs::perms mode = fs::status(path, ignored).permissions();
  fs::perms exec = fs::perms::owner_exec;
  if ((mode & fs::perms::group_read) != fs::perms::none) exec |= fs::perms::group_exec;
  if ((mode & fs::perms::others_read) != fs::perms::none) exec |= fs::perms::others_exec;
  fs::permissions(path, exec, fs::perm_options::add, ignored);
}

void deleteFilesIn(const std::string& folder) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code ignored;
    if (!it->is_directory(ignored)) fs::remove(it->path(), ignored);
  }
}

}  // namespace updater
