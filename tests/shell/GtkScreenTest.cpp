// The GTK back end on a real X server (Xvfb): the launcher's place and size
// on the screen, its background, a screenshot, and closing it like a window
// manager would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/common/ChildProcess.h"
#include "tests/common/Sandbox.h"
#include "tests/common/WaitFor.h"
#include "tests/platform/Xvfb.h"

// Last: Xlib's macros clash with C++ headers.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
// clang-format on
#include "tests/platform/XInput.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {}  // namespace

class GtkScreen : public vtest::Sandbox {};

TEST_F(GtkScreen, LauncherOnARealScreen) {
  if (!vtest::Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
  vtest::Xvfb server;
  ASSERT_FALSE(server.display().empty());
  Display* d = XOpenDisplay(server.display().c_str());
  ASSERT_TRUE(d);

  vtest::ChildProcess p(VORNASK_EXE, {"noStupidPath"},
                        {{"DISPLAY", server.display()},
                         {"VORNASK_UI", "gtk"},
                         {"GDK_BACKEND", "x11"},
                         {"VORNASK_WEB_HOST", "127.0.0.1:9"},
                         {"XDG_CONFIG_HOME", dir().string()},
                         {"LSAN_OPTIONS", "suppressions=" VORNASK_LSAN_SUPPRESSIONS},
                         {"VORNASK_TEST_VERBOSE", "1"},  // the launcher's button is awaited in the log
                         {"VORNASK_LOG", "updater=7"}},
                        dir().string());
  Window w = 0;
  for (int i = 0; i < 300 && !(w = vtest::findViewable(d, "Vornask")); ++i) std::this_thread::sleep_for(50ms);
  ASSERT_NE(w, 0u) << p.errorOutput();

  // The program's icon reaches the window manager: width and height come first.
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* icon = nullptr;
  ASSERT_EQ(XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_ICON", False), 0, 2, False, XA_CARDINAL, &type,
                               &format, &count, &after, &icon),
            Success);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(reinterpret_cast<const long*>(icon)[0], 64);
  EXPECT_EQ(reinterpret_cast<const long*>(icon)[1], 64);
  XFree(icon);
  // The list fetch has failed ("Повторить", the check box free again) and the window is drawn.
  ASSERT_TRUE(p.waitLine(
      [](const std::string& l) { return l.find("<updater> button: Повторить") != std::string::npos; }, 30000))
      << p.errorOutput();
  // Button face between the progress bar and the check box.
  EXPECT_TRUE(vtest::waitFor([&] { return vtest::pixelAt(d, w, 300, 95) == 0xF0F0F0u; }, 10000))
      << std::hex << vtest::pixelAt(d, w, 300, 95);

  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(d, w, &a));
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
  EXPECT_EQ(x, 800);
  EXPECT_EQ(y, 436);
  EXPECT_EQ(a.width, 320);
  EXPECT_EQ(a.height, 168);

  const fs::path shot = vtest::buildDir() / "launcher-gtk.png";
  const std::string cmd = "DISPLAY=" + server.display() + " import -window root '" + shot.string() + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_TRUE(fs::exists(shot));

  // The check box, then the action button ("Повторить" after the failed list
  // fetch: the game opens, which settles the settings file).
  vtest::click(d, x + 8 + 10, y + 112 + 12);
  ASSERT_TRUE(vtest::waitFor(
      [&] {
        return vtest::readWholeFile(path("vornask.ini").string()).find("downloadSounds=1") !=
               std::string::npos;
      },
      5000));
  vtest::click(d, x + 110 + 50, y + 136 + 12);
  ASSERT_TRUE(vtest::waitFor(
      [&] {
        return vtest::readWholeFile(path("vornask.ini").string()) == "downloadSounds=1\nfullyDownloaded=1\n";
      },
      5000))
      << vtest::readWholeFile(path("vornask.ini").string());

  vtest::closeWindow(d, w);
  EXPECT_EQ(p.wait(15000), 0) << p.errorOutput();
  XCloseDisplay(d);
}
