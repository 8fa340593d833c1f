#pragma once

#include <cstdio>
#include <string>

#include "platform/ui/Types.h"

namespace platform::ui {

// Parts of a window the headless console reports and drives.
enum class ConsoleRole {
  None,
  Window,
  Status,
  Error,
  Button,
  Check,
  Progress,
  Game,
  // The installer: "installer: shown", "folder: TEXT", "shortcut: on|off";
  // its buttons take the commands "install", "browse" and "exit".
  Installer,
  Folder,
  Shortcut,
  InstallButton,
  BrowseButton,
  ExitButton,
};

// Marks a window or control; a later mark of the same role replaces the older one.
void setConsoleRole(WindowHandle window, ConsoleRole role);

// Writes the window's current line now, even when unchanged.
void consoleReport(WindowHandle window);

// Headless back end only (no-op with gtk): writes one line to `out` per change
// ("window: shown", "status: TEXT", "check: on enabled", "progress: 3/10 shown",
// "game: shown", "game: closed"...) and reads commands from `inFd` ("press",
// "check", "close" for the launcher, "close game"; "folder PATH",
// "shortcut on|off", "install", "browse", "exit"), posting them to the calling
// thread, where dispatchMessage applies them.
void startConsole(int inFd, std::FILE* out);
void stopConsole();

// One more line ("movie: PATH") while the console runs.
void consoleLine(const std::string& line);

}  // namespace platform::ui
