#pragma once

#include <functional>

#include "gamehost/FlashEventHandler.h"
#include "platform/com/ComPtr.h"
#include "platform/ui/Types.h"

namespace shell {
class Client;
}

namespace gamehost {

class MovieFile;

// Makes a control for a game window (the caller owns the reference), or null.
using ControlFactory = std::function<platform::com::IShockwaveFlash*()>;

// Background of the game window (red 119, green 104, blue 83).
constexpr platform::ui::Color gameBackground = platform::ui::rgb(119, 104, 83);

// The game window: a resizable top-level window whose host child covers the
// client area and holds the control playing "main.swf". Its placement is kept
// in the registry value "place". UI thread only.
class Browser {
 public:
  Browser(shell::Client& client, MovieFile& file, ControlFactory makeControl);
  // Releases the control and destroys the window if it still exists.
  ~Browser();
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;

  // True when the window and the control exist; without a control the window stays hidden.
  bool create();
  // Destroys the window without posting quit.
  void close();

  platform::ui::WindowHandle window() const { return window_; }
  platform::ui::WindowHandle hostWindow() const { return host_; }
  platform::com::IShockwaveFlash* control() const { return control_.get(); }
  bool maximized() const { return maximized_; }
  FlashEventHandler& sink() { return sink_; }

 private:
  platform::ui::LResult handle(platform::ui::WindowHandle w, unsigned msg, platform::ui::WParam wp,
                               platform::ui::LParam lp);
  void restorePlacement();
  void savePlacement();
  void connectSink();
  void loadMovie();

  ControlFactory makeControl_;
  platform::ui::WindowHandle window_ = nullptr;
  platform::ui::WindowHandle host_ = nullptr;
  FlashEventHandler sink_;
  bool quitOnDestroy_ = true;
  platform::com::ComPtr<platform::com::IShockwaveFlash> control_;
  bool maximized_ = false;
};

}  // namespace gamehost
