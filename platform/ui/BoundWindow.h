#pragma once

#include "platform/ui/Types.h"

namespace platform::ui {

// Makes a top-level window "Vornask" covering the screen, with the program's
// icon and `handler` bound to it; callers move and size it. Null on failure.
WindowHandle createBoundWindow(WindowProc handler, std::uint32_t style);

}  // namespace platform::ui
