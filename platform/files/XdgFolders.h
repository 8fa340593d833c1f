#pragma once

#include <string>

namespace platform {

// $HOME, else the user's home from the password database; "" when unknown.
std::string homeFolder();

// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share; "" when
// no home is known.
std::string dataHome();

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
std::string configHome();

// The user's desktop folder: XDG_DESKTOP_DIR of user-dirs.dirs in the config
// folder, else ~/Desktop, whether or not it exists. 0, or ENOENT when no home
// is known.
int desktopFolder(std::string& folder);

// The value of `key` in the text of a user-dirs.dirs file ("$HOME/" replaced
// by `home`), or "" when it is not set there. The last assignment wins.
std::string userDirFromText(const std::string& text, const std::string& key, const std::string& home);

}  // namespace platform
