#pragma once

#include <optional>

#include "platform/ui/Types.h"

// Knobs and probes of the headless back end, for tests and the console.
namespace platform::ui::headless {

// Defaults: screen 1920 x 1080, work area (0, 0)-(1920, 1040), no frame.
// VORNASK_WORKAREA=LEFT,TOP,RIGHT,BOTTOM overrides the work area.
void setWorkArea(const Rect& r);
void setScreen(const Rect& r);
// Border around the client area of top-level windows.
void setFrameInsets(const Rect& insets);

// Clicks a control as a user would: nothing unless it and its window are
// visible and enabled; an auto check box toggles; its window gets WmCommand.
bool click(WindowHandle control);

// The colour the window's handler last filled its client area with when asked
// to erase it (on show and redraw).
std::optional<Color> background(WindowHandle window);

}  // namespace platform::ui::headless
