#include "shell/BoundWindow.h"

#include "platform/ui/Window.h"
#include "shell/Icon.h"

namespace shell {

platform::ui::WindowHandle createBoundWindow(platform::ui::WindowProc handler, std::uint32_t style) {
  namespace ui = platform::ui;
  const ui::Rect screen = ui::screenRect();
  ui::WindowHandle w =
      ui::createWindow("Vornask", style, ui::Rect{0, 0, screen.width(), screen.height()}, std::move(handler));
  if (w) ui::setWindowIcon(w, vornaskIconPng, vornaskIconPngSize);
  return w;
}

}  // namespace shell
