#pragma once

#include <cstdio>
#include <string>

#include "platform/ui/Types.h"

namespace platform::ui {

// Parts of a window the headless console reports and drives.
enum class ConsoleRole { None, Window, Status, Error, Button, Check, Progress, Game };

// Marks a window or control; a later mark of the same role replaces the older one.
void setConsoleRole(WindowHandle window, ConsoleRole role);

// Headless back end only (no-op with gtk): writes one line to `out` per change
// ("window: shown", "status: TEXT", "check: on enabled", "progress: 3/10 shown",
// "game: shown", "game: closed"...) and reads commands from `inFd` ("press",
// "check", "close" for the launcher, "close game"), posting them to the calling
// thread, where dispatchMessage applies them.
void startConsole(int inFd, std::FILE* out);
void stopConsole();

// One more line ("movie: PATH") while the console runs.
void consoleLine(const std::string& line);

}  // namespace platform::ui
