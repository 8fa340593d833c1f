#include "launcher/LauncherWindow.h"

#include <utility>

#include "platform/ui/BoundWindow.h"
#include "platform/ui/Console.h"
#include "platform/ui/MessageLoop.h"
#include "platform/ui/Window.h"

namespace launcher {

namespace ui = platform::ui;

namespace {

// Made with the first launcher window, kept for the process.
struct SharedFont {
  ui::FontHandle font = nullptr;
  ~SharedFont() { ui::deleteFont(font); }
};

ui::FontHandle sharedFont() {
  static SharedFont shared;
  if (!shared.font) shared.font = ui::createDefaultGuiFont();
  return shared.font;
}

}  // namespace

LauncherWindow::LauncherWindow(LauncherEvents& events) : events_(events) {}

LauncherWindow::~LauncherWindow() {
  destroy();
}

void LauncherWindow::create() {
  using namespace ui::style;
  ui::WindowHandle old = window_;
  ui::WindowHandle w = ui::createBoundWindow([this](ui::WindowHandle h, unsigned msg, ui::WParam wp,
                                                    ui::LParam lp) { return handle(h, msg, wp, lp); },
                                             Caption | SysMenu | ClipChildren);
  window_ = w;
  status_ = error_ = progress_ = check_ = button_ = nullptr;
  if (!w) {
    if (old) ui::destroyWindow(old);
    return;
  }

  const ui::Rect work = ui::workArea(w);
  ui::setWindowPos(w, (work.left + work.right - Width) / 2, (work.top + work.bottom - Height) / 2, Width,
                   Height);

  const ui::Rect c = ui::clientRect(w);
  const std::uint32_t base = Child | ClipSiblings;
  status_ = ui::createControl(ui::ControlClass::Static, "", base | StaticCenter, c.left + 8, c.top + 8,
                              c.right - c.left - 16, 24, w);
  error_ = ui::createControl(ui::ControlClass::Static, "", base | StaticCenter, c.left + 8, c.top + 32,
                             c.right - c.left - 16, 24, w);
  progress_ = ui::createControl(ui::ControlClass::Progress, "", base, c.left + 16, c.top + 56,
                                c.right - c.left - 32, 24, w);
  check_ = ui::createControl(ui::ControlClass::Button, "Качать звуки", base | AutoCheckBox, c.left + 8,
                             c.bottom - 56, 100, 24, w);
  button_ = ui::createControl(ui::ControlClass::Button, "", base | DefPushButton,
                              (c.left + c.right - 100) / 2, c.bottom - 32, 100, 24, w);

  const ui::FontHandle font = sharedFont();
  for (ui::WindowHandle control : {status_, error_, check_, button_})
    if (control) ui::setFont(control, font, true);
  for (ui::WindowHandle control : {status_, error_, progress_, check_, button_})
    if (control) ui::showWindow(control, ui::ShowCommand::Show);

  ui::setConsoleRole(w, ui::ConsoleRole::Window);
  ui::setConsoleRole(status_, ui::ConsoleRole::Status);
  ui::setConsoleRole(error_, ui::ConsoleRole::Error);
  ui::setConsoleRole(progress_, ui::ConsoleRole::Progress);
  ui::setConsoleRole(check_, ui::ConsoleRole::Check);
  ui::setConsoleRole(button_, ui::ConsoleRole::Button);

  if (old) ui::destroyWindow(old);
}

void LauncherWindow::destroy() {
  if (window_) ui::destroyWindow(window_);
}

void LauncherWindow::forget() {
  window_ = status_ = error_ = progress_ = check_ = button_ = nullptr;
}

ui::LResult LauncherWindow::handle(ui::WindowHandle w, unsigned msg, ui::WParam wp, ui::LParam lp) {
  switch (msg) {
    case ui::WmDestroy:
      // An older window replaced by create() goes quietly.
      if (w == window_) {
        forget();
        events_.onLauncherDestroyed();
      }
      return 0;
    case ui::WmEraseBkgnd:
      if (wp) reinterpret_cast<ui::PaintContext*>(wp)->fillRect(ui::clientRect(w), ui::buttonFaceColor);
      return 0;
    case ui::WmCommand:
      if (w != window_) return 0;
      if (lp && reinterpret_cast<ui::WindowHandle>(lp) == button_)
        events_.onActionButton();
      else if (lp && reinterpret_cast<ui::WindowHandle>(lp) == check_)
        events_.onCheckBox();
      return 0;
    case ui::WmTimer:
      if (w != window_) return 0;
      if (wp == static_cast<ui::WParam>(Timer::Restart)) {
        killTimer(Timer::Restart);
        events_.onRestartTimer();
      } else if (wp == static_cast<ui::WParam>(Timer::Progress)) {
        events_.onProgressTimer();
      }
      return 0;
  }
  return ui::defWindowProc(w, msg, wp, lp);
}

void LauncherWindow::show() {
  ui::showWindow(window_, ui::ShowCommand::Show);
}
void LauncherWindow::hide() {
  ui::showWindow(window_, ui::ShowCommand::Hide);
}
bool LauncherWindow::isVisible() const {
  return ui::isWindowVisible(window_);
}
void LauncherWindow::redraw() {
  ui::redrawWindow(window_);
}

void LauncherWindow::setStatus(const std::string& text) {
  ui::setWindowText(status_, text);
}
std::string LauncherWindow::status() const {
  return ui::windowText(status_);
}
void LauncherWindow::setError(const std::string& text) {
  ui::setWindowText(error_, text);
}
std::string LauncherWindow::error() const {
  return ui::windowText(error_);
}
void LauncherWindow::setButtonCaption(const std::string& text) {
  ui::setWindowText(button_, text);
}
std::string LauncherWindow::buttonCaption() const {
  return ui::windowText(button_);
}
void LauncherWindow::setButtonEnabled(bool enabled) {
  ui::enableWindow(button_, enabled);
}
void LauncherWindow::setChecked(bool checked) {
  ui::setCheck(check_, checked);
}
bool LauncherWindow::isChecked() const {
  return ui::isChecked(check_);
}
void LauncherWindow::setCheckEnabled(bool enabled) {
  ui::enableWindow(check_, enabled);
}
bool LauncherWindow::isCheckEnabled() const {
  return ui::isWindowEnabled(check_);
}
void LauncherWindow::setProgressRange(int low, int high) {
  ui::setProgressRange(progress_, low, high);
}
void LauncherWindow::setProgressPos(int pos) {
  ui::setProgressPos(progress_, pos);
}
void LauncherWindow::setProgressMarquee(bool on) {
  ui::setProgressMarquee(progress_, on);
}
void LauncherWindow::showProgress(bool shown) {
  ui::showWindow(progress_, shown ? ui::ShowCommand::Show : ui::ShowCommand::Hide);
}
bool LauncherWindow::isProgressShown() const {
  return ui::isWindowShown(progress_);
}

void LauncherWindow::setTimer(Timer timer, unsigned ms) {
  ui::setTimer(window_, static_cast<unsigned>(timer), ms);
}
void LauncherWindow::killTimer(Timer timer) {
  ui::killTimer(window_, static_cast<unsigned>(timer));
}

}  // namespace launcher
