// The game window on the headless back end: placement, the host child, closing and replacing.
#include <gtest/gtest.h>

#include <cstdlib>

#include "gamehost/Placement.h"
#include "platform/ui/Headless.h"
#include "platform/ui/Window.h"
#include "tests/gamehost/GameHostFixture.h"

namespace ui = platform::ui;
using gamehost::parsePlace;

namespace {

class GameWindow : public vtest::GameHostFixture {};

}  // namespace

TEST(Placement, StoredFormIsFiveNumbersWithSignedCoordinates) {
  auto p = parsePlace("10,20,810,620,0");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->rect, (ui::Rect{10, 20, 810, 620}));
  EXPECT_FALSE(p->maximized());
  p = parsePlace("-1930,-8,-10,1050,2");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->rect, (ui::Rect{-1930, -8, -10, 1050}));
  EXPECT_TRUE(p->maximized());
  EXPECT_TRUE(parsePlace("1,2,3,4,3")->maximized());
  EXPECT_FALSE(parsePlace("10,20,810,620"));  // no fourth comma
  EXPECT_FALSE(parsePlace("10,,810,620,0"));
  EXPECT_FALSE(parsePlace("10,20,810,620,"));
  EXPECT_FALSE(parsePlace(""));
  // Characters are not checked: each counts as a digit ('a' is 49 past '0').
  EXPECT_EQ(parsePlace("1a,0,0,0,0")->rect.left, 10 + 49);
  // Numbers wrap; the lowest 64-bit value negates without overflow.
  EXPECT_EQ(parsePlace("-9223372036854775808,-4294967297,4294967297,0,0")->rect, (ui::Rect{0, -1, 1, 0}));
  EXPECT_EQ(gamehost::formatPlace(ui::Placement{ui::Rect{-5, 6, 700, 800}, true}), "-5,6,700,800,2");
  EXPECT_EQ(gamehost::formatPlace(ui::Placement{ui::Rect{0, 0, 1, 1}, false}), "0,0,1,1,0");
  EXPECT_EQ(gamehost::defaultPlace(ui::Rect{100, 0, 1381, 1041}), (ui::Rect{260, 130, 1220, 910}));
}

TEST_F(GameWindow, FirstStartTakesThreeQuartersCentredMaximisedAndTheHostCoversTheClientArea) {
  withClient([&](shell::Client& client) {
    ASSERT_TRUE(client.makeGameWindow());
    const ui::WindowHandle w = browser().window();
    EXPECT_TRUE(client.gameWindowVisible());
    EXPECT_EQ(ui::windowText(w), "Vornask");
    EXPECT_EQ(ui::windowRect(w), (ui::Rect{240, 130, 1680, 910}));  // work area 1920 x 1040
    EXPECT_TRUE(ui::windowPlacement(w).maximized);
    EXPECT_EQ(ui::headless::background(w), gamehost::gameBackground);
    EXPECT_EQ(ui::windowRect(browser().hostWindow()), ui::clientRect(w));
    EXPECT_TRUE(ui::isWindowVisible(browser().hostWindow()));
    const std::string movie = "LoadMovie 0 " + dir().string() + "/main.swf";
    EXPECT_EQ(calls, (std::vector<std::string>{"Attach null 1440x780", "Advise", movie}));

    // The host follows the window's size, and the control follows the host.
    ui::setWindowPos(w, 0, 0, 800, 600);
    EXPECT_EQ(ui::windowRect(browser().hostWindow()), (ui::Rect{0, 0, 800, 600}));
    EXPECT_EQ(calls.back(), "SetExtent 800x600");

    // Closing saves the restored rectangle and ends the program.
    ui::sendMessage(w, ui::WmClose, 0, 0);
    EXPECT_FALSE(ui::isWindow(w));
    EXPECT_EQ(storedPlace(), "240,130,1680,910,2");  // the restored rectangle, maximised
    EXPECT_TRUE(drain(client));
  });
}

TEST_F(GameWindow, AConfiguredGameServerReachesTheMovieAsItsServerFlashvar) {
  ::setenv("VORNASK_GAME_SERVER", "127.0.0.1:6001&x=y", 1);
  withClient([&](shell::Client& client) {
    ASSERT_TRUE(client.makeGameWindow());
    EXPECT_EQ(calls.at(2), "LoadMovie 0 " + dir().string() + "/main.swf?server=127.0.0.1:6001%26x%3Dy");
  });
  ::unsetenv("VORNASK_GAME_SERVER");
}

TEST_F(GameWindow, StoredPlacementIsUsedAndAnUnusableOneGivesTheDefault) {
  ui::headless::setFrameInsets(ui::Rect{2, 20, 2, 2});
  storePlace("10,20,810,620,0");
  withClient([&](shell::Client& client) {
    ASSERT_TRUE(client.makeGameWindow());
    EXPECT_EQ(ui::windowRect(browser().window()), (ui::Rect{10, 20, 810, 620}));
    EXPECT_FALSE(browser().maximized());
    EXPECT_FALSE(ui::windowPlacement(browser().window()).maximized);
    EXPECT_EQ(ui::windowRect(browser().hostWindow()), (ui::Rect{0, 0, 796, 578}));
    EXPECT_EQ(calls[0], "Attach null 796x578");
  });
  ui::headless::setFrameInsets(ui::Rect{});
  storePlace("-1910,-8,-10,1050,2");  // a monitor left of the primary one
  withClient([&](shell::Client& client) {
    ASSERT_TRUE(client.makeGameWindow());
    EXPECT_EQ(ui::windowRect(browser().window()), (ui::Rect{-1910, -8, -10, 1050}));
    EXPECT_TRUE(browser().maximized());
  });
  storePlace("10,20,810,620");
  withClient([&](shell::Client& client) {
    ASSERT_TRUE(client.makeGameWindow());
    EXPECT_EQ(ui::windowRect(browser().window()), (ui::Rect{240, 130, 1680, 910}));
    EXPECT_TRUE(browser().maximized());
  });
}

TEST_F(GameWindow, ReloadReplacesTheWindowWithoutSavingOrQuitting) {
  storePlace("1,2,3,4,0");
  withClient([&](shell::Client& client) {
    ASSERT_TRUE(client.makeGameWindow());
    const ui::WindowHandle first = browser().window();
    ui::setWindowPos(first, 50, 60, 640, 480);
    ASSERT_TRUE(client.makeGameWindow());  // what launch game does after a reload
    EXPECT_FALSE(ui::isWindow(first));
    EXPECT_NE(browser().window(), first);
    EXPECT_EQ(storedPlace(), "1,2,3,4,0");
    EXPECT_EQ(count("Released"), 1);  // the first control went with its window
    EXPECT_EQ(callsStartingWith("LoadMovie").size(), 2u);
    EXPECT_FALSE(drain(client));
    client.closeGameWindow();
    EXPECT_FALSE(client.gameWindowExists());
    EXPECT_FALSE(drain(client));
    EXPECT_EQ(storedPlace(), "1,2,3,4,0");
  });
}

TEST_F(GameWindow, WithoutAControlTheWindowStaysHiddenAndTheLauncherCanEndTheProgram) {
  makeControls = false;
  withClient([&](shell::Client& client) {
    EXPECT_FALSE(client.makeGameWindow());
    EXPECT_TRUE(client.gameWindowExists());
    EXPECT_FALSE(client.gameWindowVisible());
    EXPECT_TRUE(ui::isWindow(browser().window()));
    EXPECT_FALSE(browser().hostWindow());
    client.launcher().destroy();
    EXPECT_TRUE(drain(client));
  });
}

TEST_F(GameWindow, AControlWithoutTheAttachInterfaceRunsTheMovieWithNoSink) {
  options.attachable = false;
  withClient([&](shell::Client& client) {
    ASSERT_TRUE(client.makeGameWindow());
    EXPECT_EQ(count("Advise"), 0);
    EXPECT_EQ(callsStartingWith("Attach").size(), 0u);
    EXPECT_EQ(callsStartingWith("LoadMovie").size(), 1u);
    EXPECT_FALSE(control().fire(u"<invoke name=\"reload\"/>"));
    EXPECT_TRUE(client.gameWindowVisible());
  });
}
