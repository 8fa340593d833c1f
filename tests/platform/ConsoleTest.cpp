#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/ui/Console.h"
#include "platform/ui/MessageLoop.h"
#include "platform/ui/Window.h"

namespace ui = platform::ui;
using namespace ui::style;

namespace {

class Console : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::pipe(in_), 0);
    out_ = std::tmpfile();
    ui::startConsole(in_[0], out_);
    window_ = ui::createWindow("Vornask", Caption, ui::Rect{},
                               [this](ui::WindowHandle h, unsigned m, ui::WParam wp, ui::LParam lp) {
                                 if (m == ui::WmCommand) ++commands_;
                                 if (m == ui::WmClose) ++closes_;
                                 return ui::defWindowProc(h, m, wp, lp);
                               });
    status_ = ui::createControl(ui::ControlClass::Static, "", Child | Visible, 0, 0, 1, 1, window_);
    check_ =
        ui::createControl(ui::ControlClass::Button, "c", Child | Visible | AutoCheckBox, 0, 0, 1, 1, window_);
    button_ = ui::createControl(ui::ControlClass::Button, "", Child | Visible, 0, 0, 1, 1, window_);
    bar_ = ui::createControl(ui::ControlClass::Progress, "", Child | Visible, 0, 0, 1, 1, window_);
    ui::setConsoleRole(window_, ui::ConsoleRole::Window);
    ui::setConsoleRole(status_, ui::ConsoleRole::Status);
    ui::setConsoleRole(check_, ui::ConsoleRole::Check);
    ui::setConsoleRole(button_, ui::ConsoleRole::Button);
    ui::setConsoleRole(bar_, ui::ConsoleRole::Progress);
  }
  void TearDown() override {
    ui::stopConsole();
    ui::destroyWindow(window_);
    ::close(in_[0]);
    if (in_[1] >= 0) ::close(in_[1]);
    std::fclose(out_);
  }
  std::string output() {
    std::fflush(out_);
    std::rewind(out_);
    std::string s;
    for (int c; (c = std::fgetc(out_)) != EOF;) s += static_cast<char>(c);
    return s;
  }
  void send(const std::string& text) {
    ASSERT_EQ(::write(in_[1], text.data(), text.size()), (ssize_t)text.size());
  }
  // Dispatches the console messages of `count` commands.
  void run(int count) {
    ui::Message msg;
    for (int i = 0; i < count && ui::getMessage(msg); ++i) ui::dispatchMessage(msg);
  }

  int in_[2] = {-1, -1};
  std::FILE* out_ = nullptr;
  ui::WindowHandle window_, status_, check_, button_, bar_;
  int commands_ = 0, closes_ = 0;
};

}  // namespace

TEST_F(Console, EveryChangeIsOneLine) {
  ui::showWindow(window_, ui::ShowCommand::Show);
  ui::setWindowText(status_, "Получение списка файлов");
  ui::setWindowText(status_, "Получение списка файлов");  // no change, no line
  ui::setWindowText(button_, "Отмена");
  ui::enableWindow(check_, false);
  ui::setProgressRange(bar_, 0, 2048);
  ui::setProgressPos(bar_, 100);
  ui::showWindow(bar_, ui::ShowCommand::Hide);
  ui::setWindowText(ui::createControl(ui::ControlClass::Static, "", Child, 0, 0, 1, 1, window_), "unmarked");
  ui::showWindow(window_, ui::ShowCommand::Hide);
  EXPECT_EQ(output(),
            "window: shown\n"
            "status: Получение списка файлов\n"
            "button: Отмена\n"
            "check: off disabled\n"
            "progress: 0/2048 shown\n"
            "progress: 100/2048 shown\n"
            "progress: 100/2048 hidden\n"
            "window: hidden\n");
}

TEST_F(Console, CommandsFromInputActOnTheWindow) {
  ui::showWindow(window_, ui::ShowCommand::Show);
  send("press\n  check \r\nbogus\n");
  run(2);
  EXPECT_EQ(commands_, 2);
  EXPECT_TRUE(ui::isChecked(check_));
  ui::enableWindow(button_, false);
  send("press\nclose\n");
  run(2);
  EXPECT_EQ(commands_, 2);  // a disabled button does not react
  EXPECT_EQ(closes_, 1);
  EXPECT_FALSE(ui::isWindow(window_));
  EXPECT_EQ(output(), "window: shown\ncheck: on enabled\nwindow: hidden\n");
  window_ = nullptr;
}

TEST_F(Console, OverlongLinesAreIgnoredAsAWhole) {
  ui::showWindow(window_, ui::ShowCommand::Show);
  // Blanks around a command are trimmed, but not without limit.
  send(std::string(100000, ' ') + "press\n" + std::string(2000, ' ') + "close\ncheck\n");
  run(1);
  EXPECT_EQ(commands_, 1);
  EXPECT_EQ(closes_, 0);
  EXPECT_TRUE(ui::isChecked(check_));
}

TEST_F(Console, EndOfInputChangesNothing) {
  ui::showWindow(window_, ui::ShowCommand::Show);
  ::close(in_[1]);
  in_[1] = -1;
  ui::ThreadId me = ui::currentThreadId();
  ui::postThreadMessage(me, ui::WmUser, 0, 0);
  ui::Message msg;
  ASSERT_TRUE(ui::getMessage(msg));
  EXPECT_EQ(msg.message, static_cast<unsigned>(ui::WmUser));
  EXPECT_FALSE(ui::peekMessage(msg));
  EXPECT_TRUE(ui::isWindowVisible(window_));
  EXPECT_EQ(output(), "window: shown\n");
}

TEST_F(Console, GameWindowLinesAndItsOwnCloseCommand) {
  int gameCloses = 0;
  ui::WindowHandle game = ui::createWindow("Vornask", OverlappedWindow, ui::Rect{},
                                           [&](ui::WindowHandle h, unsigned m, ui::WParam wp, ui::LParam lp) {
                                             if (m == ui::WmClose) ++gameCloses;
                                             return ui::defWindowProc(h, m, wp, lp);
                                           });
  ui::setConsoleRole(game, ui::ConsoleRole::Game);
  ui::showWindow(window_, ui::ShowCommand::Show);
  ui::showWindow(game, ui::ShowCommand::Maximize);
  ui::consoleLine("movie: /games/main.swf");
  send("close game\n");
  run(1);
  EXPECT_EQ(gameCloses, 1);
  EXPECT_EQ(closes_, 0);
  EXPECT_FALSE(ui::isWindow(game));
  send("close game\n");  // no game window: nothing
  run(1);
  // A game window that was never shown goes without a line.
  ui::WindowHandle hidden = ui::createWindow("Vornask", OverlappedWindow, ui::Rect{}, nullptr);
  ui::setConsoleRole(hidden, ui::ConsoleRole::Game);
  ui::destroyWindow(hidden);
  EXPECT_EQ(output(), "window: shown\ngame: shown\nmovie: /games/main.swf\ngame: closed\n");
}
