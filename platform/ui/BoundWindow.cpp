#include "platform/ui/BoundWindow.h"

#include "platform/ui/Icon.h"
#include "platform/ui/Window.h"

namespace platform::ui {

WindowHandle createBoundWindow(WindowProc handler, std::uint32_t style) {
  const Rect screen = screenRect();
  WindowHandle w =
      createWindow("Vornask", style, Rect{0, 0, screen.width(), screen.height()}, std::move(handler));
  if (w) setWindowIcon(w, vornaskIconPng, vornaskIconPngSize);
  return w;
}

}  // namespace platform::ui
