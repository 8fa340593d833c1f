// The installer on a real X server (Xvfb): its place and size, a screenshot,
// the folder chooser, and Enter installing into the default folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/common/WaitFor.h"
#include "tests/installer/InstallerFixture.h"
#include "tests/platform/Xvfb.h"

// Last: Xlib's macros clash with C++ headers.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XTest.h>
// clang-format on
#include "tests/platform/XInput.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// The window's title as UTF-8 (_NET_WM_NAME, which holds Cyrillic as it is).
std::string titleOf(Display* d, Window w) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), 0, 1024, False,
                         XInternAtom(d, "UTF8_STRING", False), &type, &format, &count, &after,
                         &data) == Success &&
      data) {
    title.assign(reinterpret_cast<const char*>(data), count);
    XFree(data);
  }
  return title;
}

// The viewable top-level window called `name` (of that width when given), waiting up to 15 s.
Window waitForWindow(Display* d, const std::string& name, int width = 0) {
  for (int i = 0; i < 300; ++i) {
    Window root = DefaultRootWindow(d), parent, *children = nullptr;
    unsigned n = 0;
    Window found = 0;
    if (XQueryTree(d, root, &root, &parent, &children, &n)) {
      for (unsigned k = 0; k < n && !found; ++k) {
        XWindowAttributes a;
        if (XGetWindowAttributes(d, children[k], &a) && a.map_state == IsViewable &&
            (width == 0 || a.width == width) && titleOf(d, children[k]) == name)
          found = children[k];
      }
      if (children) XFree(children);
    }
    if (found) return found;
    std::this_thread::sleep_for(50ms);
  }
  return 0;
}

XRectangle placeOf(Display* d, Window w) {
  XWindowAttributes a;
  XGetWindowAttributes(d, w, &a);
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
  return XRectangle{static_cast<short>(x), static_cast<short>(y), static_cast<unsigned short>(a.width),
                    static_cast<unsigned short>(a.height)};
}

void key(Display* d, Window w, KeySym sym) {
  XSetInputFocus(d, w, RevertToParent, CurrentTime);
  XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), True, 0);
  XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), False, 30);
  XFlush(d);
}

// Whether the window shows its button face between the folder line and the check box: drawn,
// and taking input.
bool drawn(Display* d, Window w) {
  return vtest::waitFor([&] { return vtest::pixelAt(d, w, 200, 70) == 0xF0F0F0u; }, 30000);
}

bool screenshot(const std::string& display, const std::string& name) {
  const fs::path shot = vtest::buildDir() / name;
  const std::string cmd = "DISPLAY=" + display + " import -window root '" + shot.string() + "'";
  return std::system(cmd.c_str()) == 0 && fs::exists(shot);
}

}  // namespace

// An X server of its own and the downloaded client started on it.
class GtkInstaller : public vtest::InstallerFixture {
 protected:
  void SetUp() override {
    InstallerFixture::SetUp();
    if (!vtest::Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
    server_ = std::make_unique<vtest::Xvfb>();
    ASSERT_FALSE(server_->display().empty());
    d = XOpenDisplay(server_->display().c_str());
    ASSERT_TRUE(d);
  }
  void TearDown() override {
    if (d) XCloseDisplay(d);
    InstallerFixture::TearDown();
    server_.reset();
  }

  std::unique_ptr<vtest::ChildProcess> startOnScreen() const {
    return start(downloaded(), {{"DISPLAY", server_->display()},
                                {"VORNASK_UI", "gtk"},
                                {"GDK_BACKEND", "x11"},
                                {"LSAN_OPTIONS", "suppressions=" VORNASK_LSAN_SUPPRESSIONS}});
  }
  const std::string& display() const { return server_->display(); }

  // The copy's launcher window appears; closing it ends the copy.
  void closeStartedCopy(vtest::ChildProcess& p, const fs::path& target) {
    const Window launcher = waitForWindow(d, "Vornask", 320);
    ASSERT_NE(launcher, 0u) << p.errorOutput();
    EXPECT_EQ(processesRunning(target).size(), 1u);
    vtest::closeWindow(d, launcher);
    EXPECT_TRUE(p.waitForEnd(15000)) << p.errorOutput();
  }

  Display* d = nullptr;

 private:
  std::unique_ptr<vtest::Xvfb> server_;
};

TEST_F(GtkInstaller, EnterInstallsIntoTheDefaultFolderAndTheCopyStarts) {
  const fs::path folder = root() / "data" / "Vornask";
  // An existing folder, so that the chooser can open on it.
  fs::create_directories(folder);
  auto p = startOnScreen();

  const Window w = waitForWindow(d, "Vornask");
  ASSERT_NE(w, 0u) << p->errorOutput();
  const XRectangle r = placeOf(d, w);
  EXPECT_EQ(r.width, 400);
  EXPECT_EQ(r.height, 152);
  EXPECT_EQ(r.x, (1920 - 400) / 2);
  EXPECT_EQ(r.y, (1040 - 152) / 2);
  EXPECT_TRUE(drawn(d, w));
  EXPECT_TRUE(screenshot(display(), "installer-gtk.png"));

  // "Обзор..." opens the folder chooser with the caption; Escape closes it.
  vtest::click(d, r.x + 400 - 108 + 50, r.y + 32 + 12);
  const Window chooser = waitForWindow(d, "Выберите папку для установки Vornask");
  ASSERT_NE(chooser, 0u) << p->errorOutput();
  std::this_thread::sleep_for(1000ms);
  EXPECT_TRUE(screenshot(display(), "installer-gtk-browse.png"));
  key(d, chooser, XK_Escape);
  ASSERT_TRUE(vtest::waitFor([&] { return waitForWindow(d, "Vornask") == w; }, 5000));

  key(d, w, XK_Return);
  ASSERT_EQ(p->wait(30000), 0) << p->errorOutput();
  EXPECT_EQ(recorded(), folder.string());
  for (const fs::path& file : {desktopEntry(), menuEntry()}) {
    SCOPED_TRACE(file.string());
    ASSERT_TRUE(fs::exists(file));
    std::string complaints;
    EXPECT_TRUE(vtest::validDesktopEntry(file, complaints)) << complaints;
  }
  closeStartedCopy(*p, folder / "Vornask");
}

// Focus goes from the folder box to "Обзор..." and to the check box; Enter on
// the check box installs without toggling it.
TEST_F(GtkInstaller, TabReachesTheCheckBoxAndEnterThereInstalls) {
  auto p = startOnScreen();
  const Window w = waitForWindow(d, "Vornask");
  ASSERT_NE(w, 0u) << p->errorOutput();
  ASSERT_TRUE(drawn(d, w));
  for (KeySym k : {XK_Tab, XK_Tab, XK_space}) key(d, w, k);
  key(d, w, XK_Return);
  ASSERT_EQ(p->wait(30000), 0) << p->errorOutput();
  const fs::path folder = root() / "data" / "Vornask";
  EXPECT_EQ(recorded(), folder.string());
  EXPECT_FALSE(fs::exists(desktopEntry()));
  EXPECT_FALSE(fs::exists(menuEntry()));
  closeStartedCopy(*p, folder / "Vornask");
}
