#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "launcher/LauncherWindow.h"
#include "platform/ui/Headless.h"
#include "platform/ui/MessageLoop.h"
#include "platform/ui/Window.h"

namespace ui = platform::ui;
using launcher::LauncherWindow;

namespace {

struct Events : launcher::LauncherEvents {
  std::vector<std::string> log;
  void onLauncherDestroyed() override { log.push_back("destroyed"); }
  void onActionButton() override { log.push_back("button"); }
  void onCheckBox() override { log.push_back("check"); }
  void onProgressTimer() override { log.push_back("progress timer"); }
  void onRestartTimer() override { log.push_back("restart timer"); }
};

ui::Rect at(int x, int y, int w, int h) {
  return ui::Rect{x, y, x + w, y + h};
}

class Launcher : public ::testing::Test {
 protected:
  void TearDown() override {
    ui::headless::setWorkArea(ui::Rect{0, 0, 1920, 1040});
    ui::headless::setFrameInsets(ui::Rect{});
  }
  Events events;
};

}  // namespace

TEST_F(Launcher, CentredInTheWorkAreaWithControlsInPlace) {
  ui::headless::setWorkArea(ui::Rect{0, 0, 1920, 1040});
  LauncherWindow w(events);
  w.create();
  EXPECT_EQ(ui::windowRect(w.window()), at(800, 436, 320, 168));
  EXPECT_EQ(ui::windowText(w.window()), "Vornask");
  EXPECT_EQ(ui::windowRect(w.statusLine()), at(8, 8, 304, 24));
  EXPECT_EQ(ui::windowRect(w.errorLine()), at(8, 32, 304, 24));
  EXPECT_EQ(ui::windowRect(w.progressBar()), at(16, 56, 288, 24));
  EXPECT_EQ(ui::windowRect(w.checkBox()), at(8, 112, 100, 24));
  EXPECT_EQ(ui::windowRect(w.actionButton()), at(110, 136, 100, 24));
  EXPECT_EQ(ui::windowText(w.checkBox()), "Качать звуки");
  EXPECT_EQ(w.buttonCaption(), "");
  EXPECT_FALSE(w.isChecked());
}

TEST_F(Launcher, PositionsFollowTheClientAreaAndIntegerCentring) {
  ui::headless::setWorkArea(ui::Rect{-1280, 31, 1, 1050});
  ui::headless::setFrameInsets(ui::Rect{3, 26, 3, 3});
  LauncherWindow w(events);
  w.create();
  // (-1280 + 1 - 320) / 2 and (31 + 1050 - 168) / 2, truncated
  EXPECT_EQ(ui::windowRect(w.window()), at(-799, 456, 320, 168));
  ASSERT_EQ(ui::clientRect(w.window()), at(0, 0, 314, 139));
  EXPECT_EQ(ui::windowRect(w.statusLine()), at(8, 8, 298, 24));
  EXPECT_EQ(ui::windowRect(w.progressBar()), at(16, 56, 282, 24));
  EXPECT_EQ(ui::windowRect(w.checkBox()), at(8, 83, 100, 24));
  EXPECT_EQ(ui::windowRect(w.actionButton()), at(107, 107, 100, 24));
}

TEST_F(Launcher, CreatedHiddenWithSharedFontAndButtonFace) {
  LauncherWindow w(events);
  w.create();
  EXPECT_FALSE(w.isVisible());
  for (ui::WindowHandle c : {w.statusLine(), w.errorLine(), w.progressBar(), w.checkBox(), w.actionButton()})
    EXPECT_TRUE(ui::isWindowShown(c));
  const ui::FontHandle font = ui::windowFont(w.statusLine());
  ASSERT_TRUE(font);
  EXPECT_EQ(ui::windowFont(w.actionButton()), font);
  EXPECT_EQ(ui::windowFont(w.progressBar()), nullptr);
  w.show();
  EXPECT_EQ(ui::headless::background(w.window()), ui::buttonFaceColor);

  LauncherWindow other(events);
  other.create();
  EXPECT_EQ(ui::windowFont(other.checkBox()), font);  // made once per process
}

TEST_F(Launcher, ControlsAndTimersReachTheOwner) {
  LauncherWindow w(events);
  w.create();
  w.show();
  ASSERT_TRUE(ui::headless::click(w.actionButton()));
  ASSERT_TRUE(ui::headless::click(w.checkBox()));
  EXPECT_TRUE(w.isChecked());
  ui::sendMessage(w.window(), ui::WmCommand, 0, reinterpret_cast<ui::LParam>(w.statusLine()));
  w.setCheckEnabled(false);
  EXPECT_FALSE(ui::headless::click(w.checkBox()));

  w.setTimer(LauncherWindow::Timer::Progress, 5);
  w.setTimer(LauncherWindow::Timer::Restart, 1);
  ui::Message msg;
  int progressTicks = 0;
  while (progressTicks < 3 && ui::getMessage(msg)) {
    ui::dispatchMessage(msg);
    progressTicks = static_cast<int>(std::count(events.log.begin(), events.log.end(), "progress timer"));
  }
  w.killTimer(LauncherWindow::Timer::Progress);
  // The restart timer fires once: the window kills it first.
  EXPECT_EQ(std::count(events.log.begin(), events.log.end(), "restart timer"), 1);
  EXPECT_EQ(events.log[0], "button");
  EXPECT_EQ(events.log[1], "check");
  EXPECT_NE(events.log[2], "button");
}

TEST_F(Launcher, DestroyForgetsHandlesAndReportsOnce) {
  LauncherWindow w(events);
  w.create();
  const ui::WindowHandle first = w.window();
  w.create();  // the replacement is made first, then the old window goes quietly
  EXPECT_NE(w.window(), first);
  EXPECT_FALSE(ui::isWindow(first));
  EXPECT_TRUE(events.log.empty());

  ui::sendMessage(w.window(), ui::WmClose, 0, 0);
  EXPECT_FALSE(w.exists());
  EXPECT_EQ(w.statusLine(), nullptr);
  EXPECT_EQ(events.log, (std::vector<std::string>{"destroyed"}));
  w.setStatus("ignored without a window");
  EXPECT_EQ(w.status(), "");
}
