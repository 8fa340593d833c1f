#pragma once

#include <optional>
#include <string>

#include "platform/ui/Types.h"

namespace platform::ui {

enum class BackendKind { Headless, Gtk };
// The back end in use: VORNASK_UI=headless|gtk, else gtk when a display opens.
BackendKind backendKind();

// Top-level window with a handler; WmCreate reaches the handler before this
// returns. Null on failure.
WindowHandle createWindow(const std::string& title, std::uint32_t style, const Rect& rect,
                          WindowProc handler);
// Child control; position is relative to the parent's client area.
WindowHandle createControl(ControlClass cls, const std::string& text, std::uint32_t style, int x, int y,
                           int width, int height, WindowHandle parent);
// Sends WmDestroy (window first, then its controls) and frees the window.
bool destroyWindow(WindowHandle window);
bool isWindow(WindowHandle window);

// Calls the handler at once.
LResult sendMessage(WindowHandle window, unsigned message, WParam wParam, LParam lParam);
// Default processing: WmClose destroys the window.
LResult defWindowProc(WindowHandle window, unsigned message, WParam wParam, LParam lParam);

bool showWindow(WindowHandle window, ShowCommand cmd);
bool isWindowVisible(WindowHandle window);  // the window and all its parents are shown
bool isWindowShown(WindowHandle window);    // its own flag only
bool enableWindow(WindowHandle window, bool enable);
bool isWindowEnabled(WindowHandle window);
bool setWindowText(WindowHandle window, const std::string& text);
std::string windowText(WindowHandle window);
void setTextLimit(WindowHandle edit, int characters);
bool setFocus(WindowHandle window);
// Raises a shown top-level window above the others and gives it the focus, as the desktop
// allows for `activationToken` (a later start's startup id, or ""). False for any other window.
bool bringToFront(WindowHandle window, const std::string& activationToken);
void redrawWindow(WindowHandle window);
bool setWindowIcon(WindowHandle window, const unsigned char* png, std::size_t size);

// Host controls: the native container that foreign widgets are put into (a
// GtkFixed with gtk; null with the headless back end).
void* nativeHostWidget(WindowHandle host);
// A handler of a control: WmSize after every change of its geometry, WmDestroy
// when it goes. Replaces an older one.
bool setControlHandler(WindowHandle control, WindowProc handler);

// Top-level: outer rectangle on the screen. Control: rectangle in the parent's client area.
bool setWindowPos(WindowHandle window, int x, int y, int width, int height);
Rect windowRect(WindowHandle window);
// Always starts at (0, 0).
Rect clientRect(WindowHandle window);
Placement windowPlacement(WindowHandle window);

// Work area of the monitor showing the window (primary monitor when none).
Rect workArea(WindowHandle window);
Rect screenRect();

// Buttons.
bool setCheck(WindowHandle button, bool checked);
bool isChecked(WindowHandle button);

// Progress bars.
void setProgressRange(WindowHandle bar, int low, int high);
void setProgressPos(WindowHandle bar, int pos);
void setProgressMarquee(WindowHandle bar, bool on);
struct ProgressState {
  int low = 0, high = 100, pos = 0;
  bool marquee = false;
};
ProgressState progressState(WindowHandle bar);

// A copy of the system's default GUI font.
FontHandle createDefaultGuiFont();
void deleteFont(FontHandle font);
void setFont(WindowHandle window, FontHandle font, bool redraw);
FontHandle windowFont(WindowHandle window);

enum class MessageIcon { None, Error };
void messageBox(WindowHandle owner, const std::string& text, const std::string& caption, MessageIcon icon);
// Folder chosen by the user, or nothing.
std::optional<std::string> browseForFolder(WindowHandle owner, const std::string& title,
                                           const std::string& initialFolder);

}  // namespace platform::ui
