#pragma once

#include <string>

#include "platform/ui/Types.h"

namespace installer {

// The small window in which the user picks the install folder: caption line,
// folder box, "Обзор...", the shortcut box, "Установить" and "Выйти". It runs
// a message loop of its own until it is closed. UI thread only.
class InstallerWindow {
 public:
  static constexpr int Width = 400;
  static constexpr int Height = 152;

  InstallerWindow();
  ~InstallerWindow();
  InstallerWindow(const InstallerWindow&) = delete;
  InstallerWindow& operator=(const InstallerWindow&) = delete;

  // Creates and shows the window, then runs until it is gone.
  void run();

  // $XDG_DATA_HOME/Vornask (~/.local/share/Vornask); "" when no home is known.
  static std::string initialFolder();

 private:
  bool create();
  platform::ui::LResult handle(platform::ui::WindowHandle w, unsigned msg, platform::ui::WParam wp,
                               platform::ui::LParam lp);
  bool owns(platform::ui::WindowHandle w) const;
  void install();
  void browse();

  platform::ui::FontHandle font_ = nullptr;
  platform::ui::WindowHandle window_ = nullptr;
  platform::ui::WindowHandle caption_ = nullptr, folder_ = nullptr, browse_ = nullptr, shortcut_ = nullptr,
                             install_ = nullptr, exit_ = nullptr;
};

}  // namespace installer
