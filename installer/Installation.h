#pragma once

#include <string>

namespace installer {

// What "Установить" does with the folder text and the shortcut box: records
// the folder, copies the running executable there as "Vornask", adds the
// desktop and menu entries when asked and starts the copy. Every failure
// shows the error box; afterwards the installer closes, whatever happened.
void runInstallation(const std::string& folderText, bool shortcut);

// The name of the installed executable and of the icon beside it.
extern const char* const installedName;
extern const char* const iconName;

}  // namespace installer
