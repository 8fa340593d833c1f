#include "platform/ui/Window.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/ui/Backend.h"
#include "platform/ui/MessageLoop.h"

namespace platform::ui {
namespace detail {

extern std::atomic<ThreadId> gtkThread;

namespace {

std::mutex tableMutex;
std::unordered_map<WindowHandle, std::unique_ptr<WindowObject>>& table() {
  static auto* map = new std::unordered_map<WindowHandle, std::unique_ptr<WindowObject>>();
  return *map;
}
std::uintptr_t nextHandle = 0x100;

std::atomic<Backend*> current{nullptr};
std::once_flag chosen;

void choose() {
  const char* env = std::getenv("VORNASK_UI");
  std::unique_ptr<Backend> b;
  if (!env || std::strcmp(env, "headless") != 0) b = makeGtkBackend();
  if (!b) b = makeHeadlessBackend();
  if (b->kind() == BackendKind::Gtk) gtkThread = currentThreadId();
  current = b.release();  // lives for the process
}

WindowHandle add(std::unique_ptr<WindowObject> w) {
  std::lock_guard<std::mutex> lock(tableMutex);
  nextHandle += 4;
  w->handle = reinterpret_cast<WindowHandle>(nextHandle);
  WindowHandle h = w->handle;
  table()[h] = std::move(w);
  return h;
}

}  // namespace

Backend& backend() {
  std::call_once(chosen, choose);
  return *current.load();
}

void wakeBackend() {
  if (Backend* b = current.load()) b->wake();
}

WindowObject* find(WindowHandle h) {
  if (!h) return nullptr;
  std::lock_guard<std::mutex> lock(tableMutex);
  auto it = table().find(h);
  return it == table().end() ? nullptr : it->second.get();
}

ThreadId threadOf(WindowHandle h) {
  std::lock_guard<std::mutex> lock(tableMutex);
  auto it = table().find(h);
  return it == table().end() ? 0 : it->second->thread;
}

WindowObject* topLevelOf(WindowObject* w) {
  while (w && w->parent) w = w->parent;
  return w;
}

void erase(WindowObject& w, PaintContext& ctx) {
  callHandler(w, WmEraseBkgnd, reinterpret_cast<WParam>(&ctx), 0);
}

LResult callHandler(WindowObject& w, unsigned msg, WParam wp, LParam lp) {
  std::shared_ptr<WindowProc> proc = w.proc;
  if (!proc) return defWindowProc(w.handle, msg, wp, lp);
  return (*proc)(w.handle, msg, wp, lp);
}

}  // namespace detail

using detail::find;
using detail::WindowObject;

BackendKind backendKind() {
  return detail::backend().kind();
}

WindowHandle createWindow(const std::string& title, std::uint32_t style, const Rect& rect,
                          WindowProc handler) {
  ensureMessageQueue();
  auto w = std::make_unique<WindowObject>();
  w->topLevel = true;
  w->style = style & ~style::Visible;
  w->thread = currentThreadId();
  w->text = title;
  w->rect = w->normal = rect;
  w->enabled = !(style & style::Disabled);
  if (handler) w->proc = std::make_shared<WindowProc>(std::move(handler));
  WindowObject* obj = w.get();
  WindowHandle h = detail::add(std::move(w));
  detail::backend().created(*obj);
  detail::callHandler(*obj, WmCreate, 0, 0);
  if (find(h) && (style & style::Visible)) showWindow(h, ShowCommand::Show);
  return find(h) ? h : nullptr;
}

WindowHandle createControl(ControlClass cls, const std::string& text, std::uint32_t style, int x, int y,
                           int width, int height, WindowHandle parent) {
  WindowObject* p = find(parent);
  if (!p) return nullptr;
  auto w = std::make_unique<WindowObject>();
  w->topLevel = false;
  w->parent = p;
  w->cls = cls;
  w->style = style;
  w->thread = p->thread;
  w->text = text;
  w->rect = w->normal = Rect{x, y, x + width, y + height};
  w->visible = (style & style::Visible) != 0;
  w->enabled = !(style & style::Disabled);
  WindowObject* obj = w.get();
  WindowHandle h = detail::add(std::move(w));
  p->children.push_back(obj);
  detail::backend().created(*obj);
  return h;
}

bool destroyWindow(WindowHandle window) {
  WindowObject* w = find(window);
  if (!w || w->destroying) return false;
  w->destroying = true;
  // Controls go silently with their window.
  if (w->visible && !(w->parent && w->parent->destroying)) {
    w->visible = false;
    detail::backend().visibilityChanged(*w, ShowCommand::Hide);
    detail::consoleChanged(*w);
  }
  detail::callHandler(*w, WmDestroy, 0, 0);
  std::vector<WindowObject*> kids = w->children;
  for (WindowObject* c : kids) destroyWindow(c->handle);
  detail::killTimersOf(window);
  detail::consoleForget(*w);
  detail::backend().destroyed(*w);
  if (w->parent) {
    auto& sib = w->parent->children;
    sib.erase(std::remove(sib.begin(), sib.end(), w), sib.end());
  }
  std::unique_ptr<WindowObject> doomed;
  {
    std::lock_guard<std::mutex> lock(detail::tableMutex);
    auto it = detail::table().find(window);
    doomed = std::move(it->second);
    detail::table().erase(it);
  }
  return true;
}

bool isWindow(WindowHandle window) {
  return find(window) != nullptr;
}

LResult sendMessage(WindowHandle window, unsigned message, WParam wParam, LParam lParam) {
  WindowObject* w = find(window);
  return w ? detail::callHandler(*w, message, wParam, lParam) : 0;
}

LResult defWindowProc(WindowHandle window, unsigned message, WParam, LParam) {
  if (message == WmClose) destroyWindow(window);
  return 0;
}

bool showWindow(WindowHandle window, ShowCommand cmd) {
  WindowObject* w = find(window);
  if (!w) return false;
  const bool was = w->visible;
  const bool show = cmd != ShowCommand::Hide;
  if (w->topLevel && cmd == ShowCommand::Maximize) w->maximized = true;
  if (w->topLevel && (cmd == ShowCommand::ShowNormal || cmd == ShowCommand::Restore)) w->maximized = false;
  w->visible = show;
  detail::backend().visibilityChanged(*w, cmd);
  if (was != show) {
    if (w->topLevel) detail::callHandler(*w, WmShowWindow, show ? 1 : 0, 0);
    detail::consoleChanged(*w);
  }
  return was;
}

bool isWindowVisible(WindowHandle window) {
  for (WindowObject* w = find(window); w; w = w->parent)
    if (!w->visible) return false;
  return find(window) != nullptr;
}

bool isWindowShown(WindowHandle window) {
  WindowObject* w = find(window);
  return w && w->visible;
}

bool enableWindow(WindowHandle window, bool enable) {
  WindowObject* w = find(window);
  if (!w) return false;
  const bool was = w->enabled;
  w->enabled = enable;
  if (was != enable) {
    detail::backend().enabledChanged(*w);
    detail::consoleChanged(*w);
  }
  return !was;
}

bool isWindowEnabled(WindowHandle window) {
  WindowObject* w = find(window);
  return w && w->enabled;
}

bool setWindowPos(WindowHandle window, int x, int y, int width, int height) {
  WindowObject* w = find(window);
  if (!w) return false;
  w->rect = Rect{x, y, x + width, y + height};
  if (!w->maximized && !w->fullScreen) {
    w->normal = w->rect;
    w->movedTo.reset();
  }
  detail::backend().geometryChanged(*w);
  if (w->topLevel || w->proc) detail::callHandler(*w, WmSize, 0, 0);
  return true;
}

void* nativeHostWidget(WindowHandle host) {
  WindowObject* w = find(host);
  if (!w || w->topLevel || w->cls != ControlClass::Host) return nullptr;
  return detail::backend().nativeContainer(*w);
}

bool setControlHandler(WindowHandle control, WindowProc handler) {
  WindowObject* w = find(control);
  if (!w || w->topLevel) return false;
  w->proc = handler ? std::make_shared<WindowProc>(std::move(handler)) : nullptr;
  return true;
}

Rect windowRect(WindowHandle window) {
  WindowObject* w = find(window);
  return w ? w->rect : Rect{};
}

Rect clientRect(WindowHandle window) {
  WindowObject* w = find(window);
  if (!w) return Rect{};
  Rect r{0, 0, w->rect.width(), w->rect.height()};
  if (w->topLevel) {
    Rect in = detail::frameInsets();
    r.right -= in.left + in.right;
    r.bottom -= in.top + in.bottom;
  }
  return r;
}

Placement windowPlacement(WindowHandle window) {
  WindowObject* w = find(window);
  if (!w) return Placement{};
  if (w->movedTo) w->normal = *w->movedTo;
  w->movedTo.reset();
  return Placement{w->normal, w->maximized};
}

Rect workArea(WindowHandle window) {
  return detail::backend().workArea(find(window));
}
Rect screenRect() {
  return detail::backend().screen();
}

}  // namespace platform::ui
