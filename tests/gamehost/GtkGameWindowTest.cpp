// The game window of the built client on Xvfb (GTK back end): its place, its
// background, the host child covering the client area and following its size.
#include <gtest/gtest.h>

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
#include <X11/Xutil.h>
// clang-format on
#include "tests/platform/XInput.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const unsigned long background = 0x776853;  // red 119, green 104, blue 83
const unsigned long border = 0x00FF00;      // what the tests' control draws at its edges

class GtkGameWindow : public vtest::Sandbox {};

}  // namespace

TEST_F(GtkGameWindow, ShowsTheBackgroundAndTheHostCoversAndFollowsTheClientArea) {
  if (!vtest::Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
  vtest::Xvfb server;
  ASSERT_FALSE(server.display().empty());
  Display* d = XOpenDisplay(server.display().c_str());
  ASSERT_TRUE(d);
  fs::copy_file(fs::path(VORNASK_TEST_CONTROL_DIR) / "flash.cab", path("flash.cab"));
  writeFile("vornask.ini", "downloadSounds=0\nfullyDownloaded=1\n");
  writeFile("config/Ondrel/Vornask/place", "10,20,810,620,0");

  vtest::ChildProcess p(VORNASK_EXE, {"noStupidPath"},
                        {{"DISPLAY", server.display()},
                         {"VORNASK_UI", "gtk"},
                         {"GDK_BACKEND", "x11"},
                         {"VORNASK_WEB_HOST", "127.0.0.1:9"},
                         {"XDG_CONFIG_HOME", path("config").string()},
                         {"VORNASK_TEST_CONTROL_LOG", path("calls.log").string()},
                         {"LSAN_OPTIONS", "suppressions=" VORNASK_LSAN_SUPPRESSIONS}},
                        dir().string());
  Window w = 0;
  vtest::waitFor([&] { return (w = vtest::findViewable(d, "Vornask")) != 0; }, 15000);
  ASSERT_NE(w, 0u) << p.errorOutput();
  XWindowAttributes a;
  // Drawn at its size, host and control in place; the checks below say what is missing.
  const auto shows = [&](int width, int height) {
    return XGetWindowAttributes(d, w, &a) && a.width == width && a.height == height &&
           vtest::pixelAt(d, w, width / 2, height / 2) == background &&
           vtest::pixelAt(d, w, 1, 1) == border && vtest::pixelAt(d, w, width - 2, height - 2) == border;
  };
  vtest::waitFor([&] { return shows(800, 600); }, 30000);

  ASSERT_TRUE(XGetWindowAttributes(d, w, &a));
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
  EXPECT_EQ(x, 10);
  EXPECT_EQ(y, 20);
  EXPECT_EQ(a.width, 800);
  EXPECT_EQ(a.height, 600);
  EXPECT_NE(readFile("calls.log").find("Attach native 800x600\n"), std::string::npos)
      << readFile("calls.log");
  EXPECT_EQ(vtest::pixelAt(d, w, 400, 300), background);
  EXPECT_EQ(vtest::pixelAt(d, w, 6, 6), background);
  EXPECT_EQ(vtest::pixelAt(d, w, 1, 1), border);
  EXPECT_EQ(vtest::pixelAt(d, w, 798, 598), border);

  const fs::path shot = vtest::buildDir() / "game-window-gtk.png";
  const std::string cmd = "DISPLAY=" + server.display() + " import -window root '" + shot.string() + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0);

  // A window manager may make the window smaller than the host is now.
  XSizeHints hints{};
  long supplied = 0;
  ASSERT_TRUE(XGetWMNormalHints(d, w, &hints, &supplied));
  if (hints.flags & PMinSize) {
    EXPECT_LT(hints.min_width, 100);
    EXPECT_LT(hints.min_height, 100);
  }
  // Smaller than the host was: the window shrinks and the host and control follow.
  XResizeWindow(d, w, 640, 480);
  XFlush(d);
  EXPECT_TRUE(vtest::waitFor(
      [&] { return readFile("calls.log").find("SetExtent 640x480\n") != std::string::npos; }, 10000))
      << readFile("calls.log");
  vtest::waitFor([&] { return shows(640, 480); }, 30000);
  ASSERT_TRUE(XGetWindowAttributes(d, w, &a));
  EXPECT_EQ(a.width, 640);
  EXPECT_EQ(a.height, 480);
  EXPECT_EQ(vtest::pixelAt(d, w, 638, 478), border);
  EXPECT_EQ(vtest::pixelAt(d, w, 320, 240), background);

  vtest::closeWindow(d, w);
  EXPECT_EQ(p.wait(15000), 0) << p.errorOutput();
  EXPECT_EQ(readFile("config/Ondrel/Vornask/place"), "10,20,650,500,0");
  XCloseDisplay(d);
}
