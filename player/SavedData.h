#pragma once

#include <string>
#include <vector>

namespace player {

// Where the movies' saved data (local storage, IndexedDB) lives for this user:
// $XDG_DATA_HOME/Ondrel/Vornask/movies, beside the settings' layout and apart
// from the default install folder $XDG_DATA_HOME/Vornask; "" when no home is known.
std::string savedDataFolder();

// A store file found damaged and where it was moved.
struct SetAside {
  std::string from, to;
};

// Makes `folder` (owner only) and moves every damaged database below it, with
// its journal files, into a new folder "damaged-<UTC time>" beside it, so the
// movies start with an empty store and the old one stays for support. False
// when the folder cannot be made.
bool prepareSavedData(const std::string& folder, std::vector<SetAside>& setAside);

// Whether the SQLite database at `path` reads back whole.
bool databaseIsSound(const std::string& path);

// The share of the volume holding `folder` that `bytes` make, for WebKit's
// per-origin storage ratio; 1 when the volume is smaller or unknown.
double volumeShare(const std::string& folder, double bytes);

}  // namespace player
