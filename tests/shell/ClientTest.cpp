#include <gtest/gtest.h>

#include <atomic>
#include <boost/thread/thread.hpp>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include "platform/ui/Headless.h"
#include "platform/ui/MessageLoop.h"
#include "platform/ui/Window.h"
#include "shell/Client.h"
#include "shell/ThreadMessages.h"
#include "support/ThreadPool.h"
#include "tests/shell/Fakes.h"
#include "tests/shell/UiThread.h"

namespace ui = platform::ui;
using vtest::FakeGameHost;
using vtest::Journal;

namespace {

// Posts `messages` and the quit, then runs the loop.
void deliver(shell::Client& client, std::initializer_list<shell::ThreadMessage> messages) {
  for (const shell::ThreadMessage& m : messages) shell::post(client.uiThread(), m);
  shell::post(client.uiThread(), shell::InvokeMessage{[] { ui::postQuitMessage(0); }});
  client.runMessageLoop();
}

}  // namespace

TEST(Client, RelayStartsOnceAndThePortGoesToNewMovies) {
  vtest::onUiThread([] {
    Journal j;
    std::vector<bool> starts;
    shell::ClientParts parts = vtest::fakeParts(j, nullptr);
    parts.startRelay = [&](bool addressed) {
      starts.push_back(addressed);
      return std::uint16_t(addressed ? 40123 : 15190);
    };
    shell::Client client(shell::StartOptions{}, ui::currentThreadId(), parts);
    client.setMovieVersion(319);
    deliver(client, {shell::ClientHelloMessage{}});
    client.setMovieVersion(320);
    deliver(client, {shell::ClientHelloMessage{}});
    EXPECT_EQ(starts, std::vector<bool>{false});
    EXPECT_EQ(client.relayPort(), 15190);
    EXPECT_EQ(j.count("reply 0"), 1);
    EXPECT_EQ(j.count("reply 15190"), 1);
  });
}

TEST(Client, FirstMovieFrom320GetsTheChosenPort) {
  vtest::onUiThread([] {
    Journal j;
    int attempts = 0;
    shell::ClientParts parts = vtest::fakeParts(j, nullptr);
    parts.startRelay = [&](bool addressed) -> std::uint16_t {
      if (++attempts == 1) throw std::runtime_error("port in use");
      return addressed ? 40123 : 15190;
    };
    shell::Client client(shell::StartOptions{}, ui::currentThreadId(), parts);
    client.setMovieVersion(-5);
    deliver(client, {shell::ClientHelloMessage{}});  // a failed start leaves no port and is tried again
    client.setMovieVersion(400);
    deliver(client, {shell::ClientHelloMessage{}});
    EXPECT_EQ(j.count("reply 0"), 1);
    EXPECT_EQ(j.count("reply 40123"), 1);
    EXPECT_EQ(client.relayPort(), 40123);
  });
}

TEST(Client, ReloadKeepsAnExistingLauncherAndRemakesAGoneOne) {
  vtest::onUiThread([] {
    Journal j;
    FakeGameHost* game = nullptr;
    shell::Client client(shell::StartOptions{}, ui::currentThreadId(), vtest::fakeParts(j, &game));
    const ui::WindowHandle first = client.launcher().window();
    deliver(client, {shell::ReloadMessage{}});
    EXPECT_EQ(client.launcher().window(), first);
    EXPECT_EQ(j.count("launcher created"), 1);
    EXPECT_EQ(j.count("start file list"), 1);

    // Closed by the user while the game window shows: the process goes on.
    ASSERT_TRUE(client.makeGameWindow());
    ui::sendMessage(first, ui::WmClose, 0, 0);
    EXPECT_FALSE(client.launcher().exists());
    ui::Message pending;
    EXPECT_FALSE(ui::peekMessage(pending));  // no quit
    deliver(client, {shell::ReloadMessage{}});
    EXPECT_TRUE(client.launcher().exists());
    EXPECT_TRUE(client.launcher().isVisible());
    EXPECT_EQ(j.count("launcher created"), 2);
    EXPECT_EQ(j.count("start file list"), 2);
  });
}

TEST(Client, TraceResultsReachOnlyAnExistingGameWindow) {
  vtest::onUiThread([] {
    Journal j;
    FakeGameHost* game = nullptr;
    shell::Client client(shell::StartOptions{}, ui::currentThreadId(), vtest::fakeParts(j, &game));
    deliver(client, {shell::TraceResultMessage{"dropped"}});
    client.makeGameWindow();
    std::thread([&] {
      shell::post(client.uiThread(), shell::TraceResultMessage{"1 <1 ms & 127.0.0.1"});
    }).join();
    deliver(client, {});
    EXPECT_EQ(j.count("bugreport dropped"), 0);
    EXPECT_EQ(j.count("bugreport 1 <1 ms & 127.0.0.1"), 1);
  });
}

TEST(Client, ClosingTheLauncherEndsTheLoopWhenNoGameWindowShows) {
  vtest::onUiThread([] {
    Journal j;
    FakeGameHost* game = nullptr;
    shell::Client client(shell::StartOptions{}, ui::currentThreadId(), vtest::fakeParts(j, &game));
    client.makeGameWindow();
    game->visible = false;  // present but hidden: closing still quits
    ui::postMessage(client.launcher().window(), ui::WmClose, 0, 0);
    EXPECT_EQ(client.runMessageLoop(), 0);
    EXPECT_FALSE(client.launcher().exists());
  });
}

TEST(Client, ControlsAndTimersGoToTheWorkflow) {
  vtest::onUiThread([] {
    Journal j;
    shell::Client client(shell::StartOptions{}, ui::currentThreadId(), vtest::fakeParts(j, nullptr));
    ASSERT_TRUE(ui::headless::click(client.launcher().actionButton()));
    ASSERT_TRUE(ui::headless::click(client.launcher().checkBox()));
    client.launcher().setTimer(launcher::LauncherWindow::Timer::Restart, 1);
    client.launcher().setTimer(launcher::LauncherWindow::Timer::Progress, 1);
    while (j.count("progress timer") < 2) {
      ui::Message msg;
      ASSERT_TRUE(ui::getMessage(msg));
      ui::dispatchMessage(msg);
    }
    EXPECT_EQ(j.count("button"), 1);
    EXPECT_EQ(j.count("check"), 1);
    EXPECT_EQ(j.count("restart timer"), 1);
  });
}

TEST(Client, DestructionOrder) {
  Journal j;
  vtest::onUiThread([&] {
    shell::Client client(shell::StartOptions{}, ui::currentThreadId(), vtest::fakeParts(j, nullptr));
    j.events.clear();
  });
  EXPECT_EQ(j.events, (std::vector<std::string>{"movie file closed", "stop download, launcher alive",
                                                "game host destroyed", "updater destroyed"}));
}

TEST(Client, WithoutPartsTheLauncherShowsAndNothingElseHappens) {
  vtest::onUiThread([] {
    shell::Client client(shell::StartOptions{}, ui::currentThreadId());
    EXPECT_TRUE(client.launcher().isVisible());
    EXPECT_FALSE(client.makeGameWindow());
    client.setMovieVersion(320);
    deliver(client, {shell::ClientHelloMessage{}});
    EXPECT_EQ(client.relayPort(), 0);
  });
}

// Closing while a trace still waits for its replies: the job is stopped and its worker joined
// well within the two seconds a close may take.
TEST(Client, DestructionStopsAPoolJobThatWouldRunOn) {
  vtest::onUiThread([] {
    Journal j;
    std::atomic<bool> finished{false};
    auto client = std::make_unique<shell::Client>(shell::StartOptions{}, ui::currentThreadId(),
                                                  vtest::fakeParts(j, nullptr));
    std::atomic<bool> started{false};
    client->threadPool().post([&] {
      started = true;
      boost::this_thread::sleep_for(boost::chrono::seconds(20));
      finished = true;
    });
    while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto start = std::chrono::steady_clock::now();
    client.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(finished);
  });
}
