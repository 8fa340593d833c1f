#include "player/SavedData.h"

#include <sqlite3.h>
#include <sys/statvfs.h>

#include <ctime>
#include <filesystem>

#include "platform/files/XdgFolders.h"

namespace fs = std::filesystem;

namespace player {
namespace {

// The names WebKit gives its SQLite databases (local storage, IndexedDB, HSTS).
bool isDatabase(const fs::path& path) {
  const std::string ext = path.extension().string();
  return ext == ".localstorage" || ext == ".sqlite3" || ext == ".sqlite" || ext == ".db";
}

std::string utcStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &tm);
  return text;
}

}  // namespace

std::string savedDataFolder() {
  const std::string data = platform::dataHome();
  return data.empty() ? std::string() : data + "/Ondrel/Vornask/movies";
}

bool databaseIsSound(const std::string& path) {
  std::error_code ec;
  if (fs::file_size(path, ec) == 0 && !ec) return true;  // WebKit makes it on first use
  // Damaged is what SQLite itself calls so; a store it cannot open now (busy,
  // locked by another client, no journal index) is left to WebKit. Read-only:
  // nothing of a damaged store, its journal included, changes before it is set aside.
  const auto damaged = [](int code) { return code == SQLITE_NOTADB || code == SQLITE_CORRUPT; };
  sqlite3* db = nullptr;
  int code = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* check = nullptr;
  if (code == SQLITE_OK) code = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &check, nullptr);
  bool sound = !damaged(code);
  if (code == SQLITE_OK) {
    const int step = sqlite3_step(check);
    const auto* first = step == SQLITE_ROW ? sqlite3_column_text(check, 0) : nullptr;
    sound = first ? std::string(reinterpret_cast<const char*>(first)) == "ok" : !damaged(step);
  }
  sqlite3_finalize(check);
  sqlite3_close(db);
  return sound;
}

bool prepareSavedData(const std::string& folder, std::vector<SetAside>& setAside) {
  std::error_code ec;
  if (folder.empty() || (!fs::create_directories(folder, ec) && !fs::is_directory(folder, ec))) return false;
  fs::permissions(folder, fs::perms::owner_all, ec);
  std::vector<fs::path> damaged;
  for (auto it = fs::recursive_directory_iterator(folder, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    if (it->is_regular_file(ec) && isDatabase(it->path()) && !databaseIsSound(it->path().string()))
      damaged.push_back(it->path());
  const fs::path aside = fs::path(folder).parent_path() / ("damaged-" + utcStamp());
  for (const fs::path& file : damaged) {
    const fs::path to = aside / fs::relative(file, folder, ec);
    fs::create_directories(to.parent_path(), ec);
    for (const char* suffix : {"-wal", "-shm", "-journal"})
      if (fs::exists(file.string() + suffix, ec))
        fs::rename(file.string() + suffix, to.string() + suffix, ec);
    fs::rename(file, to, ec);
    if (ec) fs::remove(file, ec);  // it must not stay where WebKit opens it
    setAside.push_back({file.string(), ec ? std::string() : to.string()});
  }
  return true;
}

double volumeShare(const std::string& folder, double bytes) {
  struct statvfs volume {};
  if (::statvfs(folder.c_str(), &volume) != 0) return 1.0;
  const double size = static_cast<double>(volume.f_blocks) * static_cast<double>(volume.f_frsize);
  return size > bytes ? bytes / size : 1.0;
}

}  // namespace player
