#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Console.h"
#include "platform/ui/Types.h"
#include "platform/ui/Window.h"

namespace platform::ui::detail {

// The state of one window or control; the back ends mirror it on the screen.
struct WindowObject {
  WindowHandle handle = nullptr;
  WindowObject* parent = nullptr;
  std::vector<WindowObject*> children;
  bool topLevel = true;
  ControlClass cls = ControlClass::Static;
  std::uint32_t style = 0;
  ThreadId thread = 0;
  std::string text;
  Rect rect;  // top-level: outer, on the screen; control: in the parent's client area
  Rect normal;
  bool visible = false, enabled = true, checked = false, maximized = false;
  bool fullScreen = false;  // top-level, shown full screen: `normal` keeps the windowed place
  // A window manager moves a window on its way to full screen or maximised
  // before it says so: a place it reports becomes `normal` only when no such
  // change follows at once.
  std::optional<Rect> movedTo;
  std::chrono::steady_clock::time_point movedAt;
  int textLimit = 0;
  ProgressState progress;
  FontHandle font = nullptr;
  ConsoleRole role = ConsoleRole::None;
  bool destroying = false;
  std::shared_ptr<WindowProc> proc;
  void* native = nullptr;  // back end's widget
};

using Clock = std::chrono::steady_clock;

class Backend {
 public:
  virtual ~Backend() = default;
  virtual BackendKind kind() const = 0;

  // Blocks until woken, a back-end event arrived or `deadline` passed.
  virtual void wait(std::optional<Clock::time_point> deadline) = 0;
  // Any thread: ends a wait.
  virtual void wake() = 0;
  // Handles pending back-end events without blocking.
  virtual void pump() = 0;

  virtual void created(WindowObject& w) = 0;
  virtual void destroyed(WindowObject& w) = 0;
  virtual void textChanged(WindowObject& w) = 0;
  virtual void visibilityChanged(WindowObject& w, ShowCommand cmd) = 0;
  virtual void enabledChanged(WindowObject& w) = 0;
  virtual void checkChanged(WindowObject& w) = 0;
  virtual void progressChanged(WindowObject& w) = 0;
  virtual void geometryChanged(WindowObject& w) = 0;
  virtual void fontChanged(WindowObject& w) = 0;
  virtual void redraw(WindowObject& w) = 0;
  virtual void focus(WindowObject& w) = 0;
  virtual void bringToFront(WindowObject& w, const std::string& activationToken) = 0;
  virtual void setIcon(WindowObject& w, const unsigned char* png, std::size_t size) = 0;
  virtual void* nativeContainer(WindowObject& w) = 0;

  virtual Rect workArea(WindowObject* w) = 0;
  virtual Rect screen() = 0;
  virtual std::string defaultFontName() = 0;

  virtual void messageBox(WindowObject* owner, const std::string& text, const std::string& caption,
                          MessageIcon icon) = 0;
  virtual std::optional<std::string> browseForFolder(WindowObject* owner, const std::string& title,
                                                     const std::string& initial) = 0;
};

Backend& backend();
std::unique_ptr<Backend> makeHeadlessBackend();
// Null when no display can be opened.
std::unique_ptr<Backend> makeGtkBackend();

WindowObject* find(WindowHandle h);
// The top-level window a window belongs to.
WindowObject* topLevelOf(WindowObject* w);

// Hands a message to a window's handler (keeps the handler alive meanwhile).
LResult callHandler(WindowObject& w, unsigned msg, WParam wp, LParam lp);

// Console hooks, called by the window functions on every change.
void consoleChanged(WindowObject& w);
void consoleForget(WindowObject& w);
// "front: " and the window's line, when a window was brought to the front.
void consoleFront(WindowObject& w);
// Applies a console command (posted as a thread message) on the UI thread.
bool consoleDispatch(const Message& msg);

// Message queue internals.
bool postTo(ThreadId thread, const Message& msg);
ThreadId threadOf(WindowHandle h);
ThreadId gtkThreadId();
void wakeBackend();
void killTimersOf(WindowHandle window);

std::string fontName(FontHandle font);
// Non-client border of top-level windows (headless only; none with gtk).
Rect frameInsets();
// Sends WmEraseBkgnd to a top-level window with `ctx`.
void erase(WindowObject& w, PaintContext& ctx);

// Private thread message of the console.
constexpr unsigned ConsoleCommandMessage = 0x7F01;

}  // namespace platform::ui::detail
