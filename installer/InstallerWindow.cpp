#include "installer/InstallerWindow.h"

#include "installer/Installation.h"
#include "platform/files/XdgFolders.h"
#include "platform/ui/BoundWindow.h"
#include "platform/ui/Console.h"
#include "platform/ui/MessageLoop.h"
#include "platform/ui/Window.h"

namespace installer {

namespace ui = platform::ui;

namespace {

const char* const captionText = "Выберите папку для установки Vornask";
constexpr int folderLimit = 259;

}  // namespace

InstallerWindow::InstallerWindow() = default;

InstallerWindow::~InstallerWindow() {
  if (window_) ui::destroyWindow(window_);
  ui::deleteFont(font_);
}

std::string InstallerWindow::initialFolder() {
  const std::string data = platform::dataHome();
  if (data.empty()) return {};
  return data + (data.back() == '/' ? "" : "/") + "Vornask";
}

bool InstallerWindow::create() {
  using namespace ui::style;
  window_ = platform::ui::createBoundWindow([this](ui::WindowHandle h, unsigned msg, ui::WParam wp,
                                                   ui::LParam lp) { return handle(h, msg, wp, lp); },
                                            Caption | SysMenu | ClipChildren);
  if (!window_) return false;
  const ui::Rect work = ui::workArea(nullptr);
  ui::setWindowPos(window_, (work.left + work.right - Width) / 2, (work.top + work.bottom - Height) / 2,
                   Width, Height);

  const ui::Rect c = ui::clientRect(window_);
  const int w = c.width(), h = c.height();
  const std::uint32_t base = Child | Visible;
  caption_ = ui::createControl(ui::ControlClass::Static, captionText, base, 8, 8, w - 16, 16, window_);
  folder_ = ui::createControl(ui::ControlClass::Edit, initialFolder(), base | ClientEdge, 8, 32, w - 124, 24,
                              window_);
  browse_ = ui::createControl(ui::ControlClass::Button, "Обзор...", base | PushButton, w - 108, 32, 100, 24,
                              window_);
  shortcut_ = ui::createControl(ui::ControlClass::Button, "Создать ярлык на рабочем столе",
                                base | AutoCheckBox, 8, h - 64, w - 16, 24, window_);
  install_ = ui::createControl(ui::ControlClass::Button, "Установить", base | DefPushButton, w - 216, h - 32,
                               100, 24, window_);
  exit_ = ui::createControl(ui::ControlClass::Button, "Выйти", base | PushButton, w - 108, h - 32, 100, 24,
                            window_);
  ui::setTextLimit(folder_, folderLimit);
  ui::setCheck(shortcut_, true);

  font_ = ui::createDefaultGuiFont();
  for (ui::WindowHandle control : {caption_, folder_, browse_, shortcut_, install_, exit_})
    ui::setFont(control, font_, true);

  ui::setConsoleRole(window_, ui::ConsoleRole::Installer);
  ui::setConsoleRole(folder_, ui::ConsoleRole::Folder);
  ui::setConsoleRole(shortcut_, ui::ConsoleRole::Shortcut);
  ui::setConsoleRole(install_, ui::ConsoleRole::InstallButton);
  ui::setConsoleRole(browse_, ui::ConsoleRole::BrowseButton);
  ui::setConsoleRole(exit_, ui::ConsoleRole::ExitButton);
  return true;
}

void InstallerWindow::run() {
  if (!create()) return;
  ui::showWindow(window_, ui::ShowCommand::Show);
  ui::setFocus(folder_);
  ui::consoleReport(folder_);
  ui::consoleReport(shortcut_);

  ui::Message msg;
  while (ui::getMessage(msg)) {
    // Enter in any of the installer's windows installs instead of reaching it.
    if (msg.message == ui::WmKeyDown && msg.wParam == ui::VkReturn && owns(msg.window)) {
      install();
      continue;
    }
    ui::dispatchMessage(msg);
  }
}

bool InstallerWindow::owns(ui::WindowHandle w) const {
  if (!w || !window_) return false;
  for (ui::WindowHandle mine : {window_, caption_, folder_, browse_, shortcut_, install_, exit_})
    if (w == mine) return true;
  return false;
}

ui::LResult InstallerWindow::handle(ui::WindowHandle w, unsigned msg, ui::WParam wp, ui::LParam lp) {
  switch (msg) {
    case ui::WmDestroy:
      if (w == window_) {
        window_ = caption_ = folder_ = browse_ = shortcut_ = install_ = exit_ = nullptr;
        ui::postQuitMessage(0);
      }
      return 0;
    case ui::WmEraseBkgnd:
      if (wp) reinterpret_cast<ui::PaintContext*>(wp)->fillRect(ui::clientRect(w), ui::buttonFaceColor);
      return 0;
    case ui::WmCommand: {
      const auto control = reinterpret_cast<ui::WindowHandle>(lp);
      if (!control || w != window_) return 0;
      if (control == exit_)
        ui::destroyWindow(window_);
      else if (control == install_)
        install();
      else if (control == browse_)
        browse();
      return 0;
    }
  }
  return ui::defWindowProc(w, msg, wp, lp);
}

void InstallerWindow::install() {
  if (!window_) return;
  runInstallation(ui::windowText(folder_), ui::isChecked(shortcut_));
  if (window_) ui::destroyWindow(window_);
}

void InstallerWindow::browse() {
  if (auto chosen = ui::browseForFolder(window_, captionText, ui::windowText(folder_)))
    ui::setWindowText(folder_, *chosen);
}

}  // namespace installer
