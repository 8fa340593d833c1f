#include <algorithm>

#include "platform/ui/Backend.h"
#include "platform/ui/Window.h"

// Text, check, progress, font and dialog operations on windows and controls.
namespace platform::ui {

using detail::find;
using detail::WindowObject;

bool setWindowText(WindowHandle window, const std::string& text) {
  WindowObject* w = find(window);
  if (!w) return false;
  w->text = text;
  if (w->cls == ControlClass::Edit && w->textLimit > 0 && !w->topLevel) {
    // Counts characters, not bytes.
    int n = 0;
    for (std::size_t i = 0; i < w->text.size(); ++i)
      if ((static_cast<unsigned char>(w->text[i]) & 0xC0) != 0x80 && ++n > w->textLimit) {
        w->text.resize(i);
        break;
      }
  }
  detail::backend().textChanged(*w);
  detail::consoleChanged(*w);
  return true;
}

std::string windowText(WindowHandle window) {
  WindowObject* w = find(window);
  return w ? w->text : std::string();
}

void setTextLimit(WindowHandle edit, int characters) {
  if (WindowObject* w = find(edit)) {
    w->textLimit = characters;
    detail::backend().textChanged(*w);
  }
}

bool setFocus(WindowHandle window) {
  WindowObject* w = find(window);
  if (!w) return false;
  detail::backend().focus(*w);
  return true;
}

bool bringToFront(WindowHandle window, const std::string& activationToken) {
  WindowObject* w = find(window);
  if (!w || !w->topLevel || !w->visible) return false;
  detail::backend().bringToFront(*w, activationToken);
  return true;
}

void redrawWindow(WindowHandle window) {
  if (WindowObject* w = find(window)) detail::backend().redraw(*w);
}

bool setWindowIcon(WindowHandle window, const unsigned char* png, std::size_t size) {
  WindowObject* w = find(window);
  if (!w) return false;
  detail::backend().setIcon(*w, png, size);
  return true;
}

bool setCheck(WindowHandle button, bool checked) {
  WindowObject* w = find(button);
  if (!w) return false;
  if (w->checked != checked) {
    w->checked = checked;
    detail::backend().checkChanged(*w);
    detail::consoleChanged(*w);
  }
  return true;
}

bool isChecked(WindowHandle button) {
  WindowObject* w = find(button);
  return w && w->checked;
}

void setProgressRange(WindowHandle bar, int low, int high) {
  WindowObject* w = find(bar);
  if (!w) return;
  w->progress.low = low;
  w->progress.high = high;
  w->progress.pos = std::min(std::max(w->progress.pos, low), std::max(low, high));
  detail::backend().progressChanged(*w);
  detail::consoleChanged(*w);
}

void setProgressPos(WindowHandle bar, int pos) {
  WindowObject* w = find(bar);
  if (!w) return;
  const ProgressState& p = w->progress;
  w->progress.pos = std::min(std::max(pos, p.low), std::max(p.low, p.high));
  detail::backend().progressChanged(*w);
  detail::consoleChanged(*w);
}

void setProgressMarquee(WindowHandle bar, bool on) {
  WindowObject* w = find(bar);
  if (!w) return;
  w->progress.marquee = on;
  detail::backend().progressChanged(*w);
}

ProgressState progressState(WindowHandle bar) {
  WindowObject* w = find(bar);
  return w ? w->progress : ProgressState{};
}

namespace {
struct FontObject {
  std::string name;
};
}  // namespace

FontHandle createDefaultGuiFont() {
  return reinterpret_cast<FontHandle>(new FontObject{detail::backend().defaultFontName()});
}

void deleteFont(FontHandle font) {
  delete reinterpret_cast<FontObject*>(font);
}

namespace detail {
std::string fontName(FontHandle font) {
  return font ? reinterpret_cast<FontObject*>(font)->name : std::string();
}
}  // namespace detail

void setFont(WindowHandle window, FontHandle font, bool redraw) {
  WindowObject* w = find(window);
  if (!w) return;
  w->font = font;
  detail::backend().fontChanged(*w);
  if (redraw) detail::backend().redraw(*w);
}

FontHandle windowFont(WindowHandle window) {
  WindowObject* w = find(window);
  return w ? w->font : nullptr;
}

void messageBox(WindowHandle owner, const std::string& text, const std::string& caption, MessageIcon icon) {
  detail::backend().messageBox(find(owner), text, caption, icon);
}

std::optional<std::string> browseForFolder(WindowHandle owner, const std::string& title,
                                           const std::string& initialFolder) {
  return detail::backend().browseForFolder(find(owner), title, initialFolder);
}

}  // namespace platform::ui
