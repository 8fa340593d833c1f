#include "gamehost/Browser.h"

#include <cstdlib>
#include <filesystem>

#include "gamehost/Placement.h"
#include "platform/axhost/AxHost.h"
#include "platform/com/Bstr.h"
#include "platform/registry/Registry.h"
#include "platform/ui/BoundWindow.h"
#include "platform/ui/Console.h"
#include "platform/ui/MessageLoop.h"
#include "platform/ui/Window.h"
#include "shell/Startup.h"
#include "support/Text.h"

namespace gamehost {

namespace com = platform::com;
namespace ui = platform::ui;

namespace {

// A flashvar's value for a URL query: letters, digits and "-._~:" kept,
// every other byte percent-encoded.
bool keptInQueryValue(unsigned char c) {
  return mstd::unreservedByte(c) || c == ':';
}

}  // namespace

Browser::Browser(shell::Client& client, MovieFile& file, ControlFactory makeControl)
    : makeControl_(std::move(makeControl)), sink_(client, file) {}

Browser::~Browser() {
  control_.reset();
  if (window_ && ui::isWindow(window_)) ui::destroyWindow(window_);
}

void Browser::close() {
  quitOnDestroy_ = false;
  if (window_) ui::destroyWindow(window_);
}

bool Browser::create() {
  using namespace ui::style;
  ui::WindowHandle old = window_;
  // Released before its window goes, the control's page is kept for the next one.
  control_.reset();
  window_ = platform::ui::createBoundWindow([this](ui::WindowHandle h, unsigned msg, ui::WParam wp,
                                                   ui::LParam lp) { return handle(h, msg, wp, lp); },
                                            OverlappedWindow);
  if (old) ui::destroyWindow(old);
  if (!window_) return false;
  ui::setConsoleRole(window_, ui::ConsoleRole::Game);
  restorePlacement();
  const ui::Rect client = ui::clientRect(window_);

  control_ = com::ComPtr<com::IShockwaveFlash>(makeControl_ ? makeControl_() : nullptr);
  if (!control_) return false;

  host_ = ui::createControl(ui::ControlClass::Host, "", Child | Visible | ClipSiblings | ClipChildren,
                            client.left, client.top, client.width(), client.height(), window_);
  if (com::SUCCEEDED(platform::ax::attachControl(control_.get(), host_))) connectSink();
  loadMovie();
  ui::showWindow(window_, maximized_ ? ui::ShowCommand::Maximize : ui::ShowCommand::ShowNormal);
  return true;
}

void Browser::connectSink() {
  const auto container = control_.query<com::IConnectionPointContainer>(com::IID_IConnectionPointContainer);
  if (!container) return;
  com::ComPtr<com::IConnectionPoint> point;
  if (com::FAILED(container->FindConnectionPoint(com::DIID__IShockwaveFlashEvents,
                                                 reinterpret_cast<com::IConnectionPoint**>(point.out())))) {
    point.detach();
    return;
  }
  com::DWORD cookie = 0;  // not kept: the sink goes with the window
  if (point) point->Advise(&sink_, &cookie);
}

void Browser::loadMovie() {
  std::string path = std::filesystem::current_path().string();
  if (path.empty() || path.back() != '/') path += '/';
  path += "main.swf";
  // The configured game server goes to the movie as its flashvar "server".
  if (const char* server = std::getenv("VORNASK_GAME_SERVER"); server && *server)
    path += "?server=" + mstd::percentEncode(server, keptInQueryValue);
  com::Bstr url(mstd::utf8ToUtf16(path, mstd::Malformed::Bridge));
  if (com::SUCCEEDED(control_->LoadMovie(0, url.get()))) ui::consoleLine("movie: " + path);
}

void Browser::restorePlacement() {
  platform::RegistryKey key;
  std::string text;
  std::optional<StoredPlace> stored;
  if (key.open(shell::registryRoot(), shell::registryKeyName) == 0 &&
      key.queryString("place", text, 512) == 0)
    stored = parsePlace(text);
  if (stored) {
    const ui::Rect& r = stored->rect;
    ui::setWindowPos(window_, r.left, r.top, r.width(), r.height());
    maximized_ = stored->maximized();
  } else {
    const ui::Rect r = defaultPlace(ui::workArea(window_));
    ui::setWindowPos(window_, r.left, r.top, r.width(), r.height());
    maximized_ = true;
  }
}

void Browser::savePlacement() {
  const ui::Placement placement = ui::windowPlacement(window_);
  platform::RegistryKey key;
  if (key.create(shell::registryRoot(), shell::registryKeyName) != 0) return;
  key.setString("place", formatPlace(placement));
}

ui::LResult Browser::handle(ui::WindowHandle w, unsigned msg, ui::WParam wp, ui::LParam lp) {
  // An older window replaced by create() goes quietly.
  if (w != window_) return msg == ui::WmDestroy ? 0 : ui::defWindowProc(w, msg, wp, lp);
  switch (msg) {
    case ui::WmDestroy:
      window_ = host_ = nullptr;
      if (quitOnDestroy_) ui::postQuitMessage(0);
      return 0;
    case ui::WmSize:
      if (host_) {
        const ui::Rect client = ui::clientRect(w);
        ui::setWindowPos(host_, client.left, client.top, client.width(), client.height());
      }
      return 0;
    case ui::WmSetFocus:
      if (host_) ui::setFocus(host_);
      return 0;
    case ui::WmClose:
      savePlacement();
      return ui::defWindowProc(w, msg, wp, lp);
    case ui::WmEraseBkgnd:
      if (wp) reinterpret_cast<ui::PaintContext*>(wp)->fillRect(ui::clientRect(w), gameBackground);
      return 0;
    case ui::WmShowWindow:
      return 0;
  }
  return ui::defWindowProc(w, msg, wp, lp);
}

}  // namespace gamehost
