#include <gtest/gtest.h>

#include <vector>

#include "platform/ui/Headless.h"
#include "platform/ui/MessageLoop.h"
#include "platform/ui/Window.h"

namespace ui = platform::ui;
using namespace ui::style;

namespace {

struct Recorder {
  std::vector<std::pair<ui::WindowHandle, unsigned>> calls;
  std::vector<ui::LParam> commands;
  ui::WindowProc proc() {
    return [this](ui::WindowHandle h, unsigned m, ui::WParam wp, ui::LParam lp) {
      calls.emplace_back(h, m);
      if (m == ui::WmCommand) commands.push_back(lp);
      return ui::defWindowProc(h, m, wp, lp);
    };
  }
};

}  // namespace

TEST(Window, BackendIsHeadlessWhenAsked) {
  EXPECT_EQ(ui::backendKind(), ui::BackendKind::Headless);
}

TEST(Window, CreateAndDestroyOrderAndStaleHandles) {
  Recorder r;
  ui::WindowHandle w = ui::createWindow("Vornask", Caption, ui::Rect{0, 0, 100, 50}, r.proc());
  ASSERT_TRUE(w);
  ASSERT_EQ(r.calls.size(), 1u);
  EXPECT_EQ(r.calls[0].second, static_cast<unsigned>(ui::WmCreate));
  ui::WindowHandle c = ui::createControl(ui::ControlClass::Static, "x", Child, 1, 2, 3, 4, w);
  EXPECT_EQ(ui::windowText(w), "Vornask");
  EXPECT_TRUE(ui::destroyWindow(w));
  EXPECT_EQ(r.calls.back().second, static_cast<unsigned>(ui::WmDestroy));
  EXPECT_FALSE(ui::isWindow(w));
  EXPECT_FALSE(ui::isWindow(c));
  EXPECT_FALSE(ui::destroyWindow(w));
  EXPECT_FALSE(ui::setWindowText(c, "y"));
  EXPECT_EQ(ui::createControl(ui::ControlClass::Static, "", Child, 0, 0, 1, 1, w), nullptr);
}

TEST(Window, CloseThroughDefaultProcessingDestroysFromInsideTheHandler) {
  Recorder r;
  ui::WindowHandle w = ui::createWindow("t", 0, ui::Rect{}, r.proc());
  ui::sendMessage(w, ui::WmClose, 0, 0);
  EXPECT_FALSE(ui::isWindow(w));
  EXPECT_EQ(r.calls.back().second, static_cast<unsigned>(ui::WmDestroy));
}

TEST(Window, VisibilityNeedsEveryParentShown) {
  ui::WindowHandle w = ui::createWindow("t", 0, ui::Rect{}, nullptr);
  ui::WindowHandle c = ui::createControl(ui::ControlClass::Button, "b", Child | Visible, 0, 0, 1, 1, w);
  EXPECT_TRUE(ui::isWindowShown(c));
  EXPECT_FALSE(ui::isWindowVisible(c));
  ui::showWindow(w, ui::ShowCommand::Show);
  EXPECT_TRUE(ui::isWindowVisible(c));
  ui::showWindow(c, ui::ShowCommand::Hide);
  EXPECT_FALSE(ui::isWindowVisible(c));
  ui::destroyWindow(w);
}

TEST(Window, ClicksActLikeAUser) {
  Recorder r;
  ui::WindowHandle w = ui::createWindow("t", 0, ui::Rect{}, r.proc());
  ui::WindowHandle box =
      ui::createControl(ui::ControlClass::Button, "c", Child | Visible | AutoCheckBox, 0, 0, 1, 1, w);
  ui::WindowHandle push =
      ui::createControl(ui::ControlClass::Button, "p", Child | Visible | DefPushButton, 0, 0, 1, 1, w);
  EXPECT_FALSE(ui::headless::click(push));  // window hidden
  ui::showWindow(w, ui::ShowCommand::Show);
  EXPECT_TRUE(ui::headless::click(box));
  EXPECT_TRUE(ui::isChecked(box));
  EXPECT_TRUE(ui::headless::click(push));
  EXPECT_FALSE(ui::isChecked(push));
  ui::enableWindow(box, false);
  EXPECT_FALSE(ui::headless::click(box));
  EXPECT_TRUE(ui::isChecked(box));
  EXPECT_EQ(r.commands,
            (std::vector<ui::LParam>{reinterpret_cast<ui::LParam>(box), reinterpret_cast<ui::LParam>(push)}));
  ui::destroyWindow(w);
}

TEST(Window, ProgressClampsAndEditCountsCharacters) {
  ui::WindowHandle w = ui::createWindow("t", 0, ui::Rect{}, nullptr);
  ui::WindowHandle bar = ui::createControl(ui::ControlClass::Progress, "", Child, 0, 0, 1, 1, w);
  ui::setProgressRange(bar, 0, 100);
  ui::setProgressPos(bar, 150);
  EXPECT_EQ(ui::progressState(bar).pos, 100);
  ui::setProgressRange(bar, 0, 0);
  EXPECT_EQ(ui::progressState(bar).pos, 0);
  ui::setProgressMarquee(bar, true);
  EXPECT_TRUE(ui::progressState(bar).marquee);

  ui::WindowHandle edit = ui::createControl(ui::ControlClass::Edit, "", Child | ClientEdge, 0, 0, 1, 1, w);
  ui::setTextLimit(edit, 3);
  ui::setWindowText(edit, "Путь/x");
  EXPECT_EQ(ui::windowText(edit), "Пут");
  ui::destroyWindow(w);
}

TEST(Window, GeometryClientAreaAndPlacement) {
  ui::headless::setFrameInsets(ui::Rect{3, 26, 3, 3});
  std::vector<unsigned> sizes;
  ui::WindowHandle w = ui::createWindow("t", OverlappedWindow, ui::Rect{0, 0, 1920, 1080},
                                        [&](ui::WindowHandle, unsigned m, ui::WParam, ui::LParam) {
                                          if (m == ui::WmSize) sizes.push_back(m);
                                          return ui::LResult{0};
                                        });
  ui::setWindowPos(w, 10, 20, 800, 600);
  EXPECT_EQ(sizes.size(), 1u);
  EXPECT_EQ(ui::windowRect(w), (ui::Rect{10, 20, 810, 620}));
  EXPECT_EQ(ui::clientRect(w), (ui::Rect{0, 0, 794, 571}));
  ui::showWindow(w, ui::ShowCommand::Maximize);
  ui::Placement p = ui::windowPlacement(w);
  EXPECT_TRUE(p.maximized);
  EXPECT_EQ(p.normal, (ui::Rect{10, 20, 810, 620}));
  ui::headless::setFrameInsets(ui::Rect{});
  ui::destroyWindow(w);
}

TEST(Window, HostsCarryControlsOfTheirOwn) {
  Recorder r;
  ui::WindowHandle w = ui::createWindow("t", OverlappedWindow, ui::Rect{}, r.proc());
  ui::WindowHandle host = ui::createControl(ui::ControlClass::Host, "", Child | Visible, 0, 0, 640, 480, w);
  ui::WindowHandle inner =
      ui::createControl(ui::ControlClass::Button, "b", Child | Visible, 5, 5, 50, 20, host);
  ASSERT_TRUE(inner);
  ui::showWindow(w, ui::ShowCommand::Show);
  EXPECT_TRUE(ui::isWindowVisible(inner));
  ui::showWindow(host, ui::ShowCommand::Hide);
  EXPECT_FALSE(ui::isWindowVisible(inner));
  ui::showWindow(host, ui::ShowCommand::Show);
  EXPECT_TRUE(ui::headless::click(inner));
  EXPECT_EQ(r.commands, std::vector<ui::LParam>{reinterpret_cast<ui::LParam>(inner)});  // reaches the window
  ui::destroyWindow(w);
  EXPECT_FALSE(ui::isWindow(inner));
}
