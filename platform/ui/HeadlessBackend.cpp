#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unordered_map>

#include "platform/ui/Backend.h"
#include "platform/ui/Headless.h"

namespace platform::ui {
namespace {

std::mutex knobMutex;
Rect workAreaRect{0, 0, 1920, 1040};
Rect screenArea{0, 0, 1920, 1080};
Rect insets{};
bool workAreaFromEnv = false;
std::unordered_map<WindowHandle, Color> painted;

// Records what a handler fills.
class RecordingContext : public PaintContext {
 public:
  std::optional<Color> color;
  void fillRect(const Rect&, Color c) override { color = c; }
};

class HeadlessBackend : public detail::Backend {
 public:
  BackendKind kind() const override { return BackendKind::Headless; }
  void wait(std::optional<detail::Clock::time_point>) override {}
  void wake() override {}
  void pump() override {}

  void created(detail::WindowObject&) override {}
  void destroyed(detail::WindowObject& w) override {
    std::lock_guard<std::mutex> lock(knobMutex);
    painted.erase(w.handle);
  }
  void textChanged(detail::WindowObject&) override {}
  void visibilityChanged(detail::WindowObject& w, ShowCommand cmd) override {
    if (w.topLevel && cmd != ShowCommand::Hide) redraw(w);
  }
  void enabledChanged(detail::WindowObject&) override {}
  void checkChanged(detail::WindowObject&) override {}
  void progressChanged(detail::WindowObject&) override {}
  void geometryChanged(detail::WindowObject&) override {}
  void fontChanged(detail::WindowObject&) override {}
  void redraw(detail::WindowObject& w) override {
    if (!w.topLevel || !w.visible) return;
    RecordingContext ctx;
    detail::erase(w, ctx);
    std::lock_guard<std::mutex> lock(knobMutex);
    if (ctx.color) painted[w.handle] = *ctx.color;
  }
  void focus(detail::WindowObject&) override {}
  void bringToFront(detail::WindowObject& w, const std::string&) override { detail::consoleFront(w); }
  void setIcon(detail::WindowObject&, const unsigned char*, std::size_t) override {}
  void* nativeContainer(detail::WindowObject&) override { return nullptr; }

  Rect workArea(detail::WindowObject*) override {
    std::lock_guard<std::mutex> lock(knobMutex);
    if (!workAreaFromEnv) {
      workAreaFromEnv = true;
      if (const char* env = std::getenv("VORNASK_WORKAREA")) {
        Rect r;
        if (std::sscanf(env, "%d,%d,%d,%d", &r.left, &r.top, &r.right, &r.bottom) == 4) workAreaRect = r;
      }
    }
    return workAreaRect;
  }
  Rect screen() override {
    std::lock_guard<std::mutex> lock(knobMutex);
    return screenArea;
  }
  std::string defaultFontName() override { return "Sans 8"; }

  void messageBox(detail::WindowObject*, const std::string& text, const std::string& caption,
                  MessageIcon) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
  }
  std::optional<std::string> browseForFolder(detail::WindowObject*, const std::string&,
                                             const std::string&) override {
    return std::nullopt;
  }
};

}  // namespace

namespace detail {
std::unique_ptr<Backend> makeHeadlessBackend() {
  return std::make_unique<HeadlessBackend>();
}

Rect frameInsets() {
  if (backend().kind() != BackendKind::Headless) return Rect{};
  std::lock_guard<std::mutex> lock(knobMutex);
  return insets;
}
}  // namespace detail

namespace headless {

void setWorkArea(const Rect& r) {
  std::lock_guard<std::mutex> lock(knobMutex);
  workAreaFromEnv = true;
  workAreaRect = r;
}

void setScreen(const Rect& r) {
  std::lock_guard<std::mutex> lock(knobMutex);
  screenArea = r;
}

void setFrameInsets(const Rect& r) {
  std::lock_guard<std::mutex> lock(knobMutex);
  insets = r;
}

bool click(WindowHandle control) {
  detail::WindowObject* w = detail::find(control);
  if (!w || w->topLevel || !isWindowVisible(control)) return false;
  for (detail::WindowObject* p = w; p; p = p->parent)
    if (!p->enabled) return false;
  if (w->cls == ControlClass::Button && (w->style & 0xF) == style::AutoCheckBox)
    setCheck(control, !w->checked);
  detail::WindowObject* top = detail::topLevelOf(w);
  detail::callHandler(*top, WmCommand, 0, reinterpret_cast<LParam>(control));
  return true;
}

std::optional<Color> background(WindowHandle window) {
  std::lock_guard<std::mutex> lock(knobMutex);
  auto it = painted.find(window);
  if (it == painted.end()) return std::nullopt;
  return it->second;
}

}  // namespace headless
}  // namespace platform::ui
