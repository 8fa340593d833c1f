// The GTK back end in this process, on an Xvfb display: the message loop
// waits in GLib's main context and still sees posts, timers and quit.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "platform/ui/MessageLoop.h"
#include "platform/ui/Window.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/Sandbox.h"
#include "tests/common/WaitFor.h"
#include "tests/platform/Xvfb.h"

// X11 last: its macros (None, Bool, Status) clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace ui = platform::ui;
using namespace std::chrono_literals;

// GTK keeps caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\nleak:libgtk-3.so\n"
         "leak:libgdk-3.so\nleak:libdbus-1.so\n";
}

class GtkLoop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!vtest::Xvfb::installed()) return;
    server = std::make_unique<vtest::Xvfb>();
    ::setenv("DISPLAY", server->display().c_str(), 1);
    ::setenv("GDK_BACKEND", "x11", 1);
    ::setenv("VORNASK_UI", "gtk", 1);
  }
  static void TearDownTestSuite() { server.reset(); }
  void SetUp() override {
    if (!server || server->display().empty()) GTEST_SKIP() << "no Xvfb";
    ASSERT_EQ(ui::backendKind(), ui::BackendKind::Gtk);
  }
  static std::unique_ptr<vtest::Xvfb> server;
};
std::unique_ptr<vtest::Xvfb> GtkLoop::server;

TEST_F(GtkLoop, PostsFromOtherThreadsWakeTheWait) {
  const ui::ThreadId me = ui::currentThreadId();
  ui::ensureMessageQueue();
  std::thread poster([me] {
    std::this_thread::sleep_for(100ms);
    ui::postThreadMessage(me, ui::WmUser + 1, 42, 0);
    std::this_thread::sleep_for(50ms);
    ui::postThreadMessage(me, ui::WmUser + 2, 0, 0);
  });
  ui::Message msg;
  ASSERT_TRUE(ui::getMessage(msg));
  EXPECT_EQ(msg.message, static_cast<unsigned>(ui::WmUser + 1));
  EXPECT_EQ(msg.wParam, 42u);
  ASSERT_TRUE(ui::getMessage(msg));
  EXPECT_EQ(msg.message, static_cast<unsigned>(ui::WmUser + 2));
  poster.join();
}

TEST_F(GtkLoop, TimersAndQuitUnderTheMainContext) {
  int ticks = 0;
  ui::WindowHandle w = ui::createWindow("t", ui::style::Caption, ui::Rect{0, 0, 200, 100},
                                        [&](ui::WindowHandle h, unsigned m, ui::WParam, ui::LParam) {
                                          if (m == ui::WmTimer && ++ticks == 3) {
                                            ui::killTimer(h, 7);
                                            ui::postQuitMessage(5);
                                          }
                                          return ui::LResult{0};
                                        });
  ASSERT_TRUE(ui::setTimer(w, 7, 20));
  ui::Message msg;
  while (ui::getMessage(msg)) ui::dispatchMessage(msg);
  EXPECT_EQ(msg.wParam, 5u);
  EXPECT_EQ(ticks, 3);
  ui::destroyWindow(w);
}

TEST_F(GtkLoop, SizableWindowKeepsItsGeometryAndPlacement) {
  int sizes = 0;
  ui::WindowHandle w = ui::createWindow("Vornask", ui::style::OverlappedWindow, ui::Rect{0, 0, 1920, 1040},
                                        [&](ui::WindowHandle, unsigned m, ui::WParam, ui::LParam) {
                                          sizes += m == ui::WmSize;
                                          return ui::LResult{0};
                                        });
  const ui::Rect work = ui::workArea(w);
  EXPECT_EQ(work, (ui::Rect{0, 0, 1920, 1040}));
  EXPECT_EQ(ui::screenRect(), (ui::Rect{0, 0, 1920, 1040}));
  ui::setWindowPos(w, 240, 130, 1440, 780);
  ui::showWindow(w, ui::ShowCommand::ShowNormal);
  ui::Message msg;
  // Until the window manager's answers are in: the window sized and placed.
  vtest::waitFor(
      [&] {
        while (ui::peekMessage(msg)) ui::dispatchMessage(msg);
        return sizes >= 1 && ui::windowRect(w) == (ui::Rect{240, 130, 1680, 910});
      },
      30000);
  EXPECT_EQ(ui::windowRect(w), (ui::Rect{240, 130, 1680, 910}));
  EXPECT_EQ(ui::clientRect(w), (ui::Rect{0, 0, 1440, 780}));
  const ui::Placement p = ui::windowPlacement(w);
  EXPECT_FALSE(p.maximized);
  EXPECT_EQ(p.normal, (ui::Rect{240, 130, 1680, 910}));
  EXPECT_GE(sizes, 1);
  ui::destroyWindow(w);
}

// Full screen, asked for by the program or the window manager, keeps the
// windowed place as the one a close stores.
TEST_F(GtkLoop, FullScreenKeepsTheWindowedPlacement) {
  if (::access("/usr/bin/openbox", X_OK) != 0) GTEST_SKIP() << "openbox is not installed";
  char folder[] = "/tmp/openbox-XXXXXX";
  ASSERT_TRUE(::mkdtemp(folder));
  vtest::ChildProcess manager("/usr/bin/openbox", {"--sm-disable"}, {{"HOME", folder}}, folder);
  const auto pumpUntil = [](const std::function<bool()>& pred) {
    ui::Message msg;
    const auto until = std::chrono::steady_clock::now() + 20s;
    while (!pred() && std::chrono::steady_clock::now() < until) {
      while (ui::peekMessage(msg)) ui::dispatchMessage(msg);
      std::this_thread::sleep_for(10ms);
    }
    return pred();
  };
  const auto managed = [] {
    return gdk_x11_screen_supports_net_wm_hint(gdk_screen_get_default(),
                                               gdk_atom_intern_static_string("_NET_WM_STATE_FULLSCREEN"));
  };
  ASSERT_TRUE(pumpUntil(managed));
  ui::WindowHandle w =
      ui::createWindow("Vornask", ui::style::OverlappedWindow, ui::Rect{0, 0, 1920, 1040},
                       [](ui::WindowHandle, unsigned, ui::WParam, ui::LParam) { return ui::LResult{0}; });
  ui::setWindowPos(w, 240, 130, 800, 600);
  ui::showWindow(w, ui::ShowCommand::ShowNormal);
  GtkWindow* top = nullptr;
  GList* all = gtk_window_list_toplevels();
  for (GList* i = all; i; i = i->next)
    if (gtk_window_get_title(GTK_WINDOW(i->data)) &&
        std::string(gtk_window_get_title(GTK_WINDOW(i->data))) == "Vornask")
      top = GTK_WINDOW(i->data);
  g_list_free(all);
  ASSERT_NE(top, nullptr);
  ASSERT_TRUE(pumpUntil([&] {
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(top));
    return window && (gdk_window_get_state(window) & GDK_WINDOW_STATE_FOCUSED);
  }));
  const ui::Placement windowed = ui::windowPlacement(w);

  // A manager that has only just taken the window may let the first request pass.
  EXPECT_TRUE(pumpUntil([&] {
    if (!(gdk_window_get_state(gtk_widget_get_window(GTK_WIDGET(top))) & GDK_WINDOW_STATE_FULLSCREEN))
      gtk_window_fullscreen(top);
    return ui::clientRect(w) == ui::Rect{0, 0, 1920, 1040};
  }));
  EXPECT_EQ(ui::windowPlacement(w).normal, windowed.normal);
  gtk_window_unfullscreen(top);
  EXPECT_TRUE(pumpUntil([&] { return ui::clientRect(w) == ui::Rect{0, 0, 800, 600}; }));
  EXPECT_EQ(ui::windowPlacement(w).normal, windowed.normal);
  EXPECT_FALSE(ui::windowPlacement(w).maximized);
  ui::destroyWindow(w);
  std::filesystem::remove_all(folder);
}

// The titles of the shown top-level windows, bottom to top, each with its class ("title:name/class").
static std::vector<std::string> stacking(Display* x) {
  std::vector<std::string> out;
  Window root, parent, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count)) return out;
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes a;
    char* name = nullptr;
    XClassHint hint{};
    if (!XGetWindowAttributes(x, children[i], &a) || a.map_state != IsViewable ||
        !XFetchName(x, children[i], &name))
      continue;
    std::string line = std::string(name) + ":";
    XFree(name);
    if (XGetClassHint(x, children[i], &hint)) {
      line += std::string(hint.res_name) + "/" + hint.res_class;
      XFree(hint.res_name);
      XFree(hint.res_class);
    }
    out.push_back(line);
  }
  if (children) XFree(children);
  return out;
}

TEST_F(GtkLoop, AWindowOfTheGameClassComesToTheFront) {
  const auto make = [](const char* title) {
    ui::WindowHandle w =
        ui::createWindow(title, ui::style::OverlappedWindow, ui::Rect{100, 100, 500, 400},
                         [](ui::WindowHandle, unsigned, ui::WParam, ui::LParam) { return ui::LResult{0}; });
    ui::showWindow(w, ui::ShowCommand::ShowNormal);
    return w;
  };
  ui::WindowHandle first = make("first"), second = make("second");
  Display* x = XOpenDisplay(server->display().c_str());
  ASSERT_NE(x, nullptr);
  const auto stackedAs = [&](const std::vector<std::string>& order) {
    return vtest::waitFor(
        [&] {
          ui::Message msg;
          while (ui::peekMessage(msg)) ui::dispatchMessage(msg);
          return stacking(x) == order;
        },
        10000);
  };
  EXPECT_TRUE(stackedAs({"first:Vornask/Vornask", "second:Vornask/Vornask"}))
      << ::testing::PrintToString(stacking(x));
  EXPECT_TRUE(ui::bringToFront(first, "vornask-test-1_TIME0"));
  EXPECT_TRUE(stackedAs({"second:Vornask/Vornask", "first:Vornask/Vornask"}))
      << ::testing::PrintToString(stacking(x));
  ui::showWindow(second, ui::ShowCommand::Hide);
  EXPECT_FALSE(ui::bringToFront(second, ""));  // a hidden window stays hidden
  EXPECT_TRUE(stackedAs({"first:Vornask/Vornask"})) << ::testing::PrintToString(stacking(x));
  XCloseDisplay(x);
  ui::destroyWindow(first);
  ui::destroyWindow(second);
}
