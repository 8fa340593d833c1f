#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "shell/Client.h"
#include "shell/ThreadMessages.h"
#include "tests/shell/Fakes.h"
#include "tests/shell/UiThread.h"

namespace ui = platform::ui;

namespace {

std::atomic<int> alive{0};

// Counts its copies so a test can tell the posted object was freed.
struct Tracked {
  Tracked() { ++alive; }
  Tracked(const Tracked&) { ++alive; }
  ~Tracked() { --alive; }
};

bool postWork(ui::ThreadId thread, std::function<void()> work) {
  return shell::post(thread, shell::InvokeMessage{std::move(work)});
}

}  // namespace

TEST(PostedWork, RunsExactlyOnceOnTheUiThreadAndIsFreed) {
  vtest::onUiThread([] {
    vtest::Journal j;
    shell::Client client(shell::StartOptions{}, ui::currentThreadId(), vtest::fakeParts(j, nullptr));
    std::vector<std::thread::id> ranOn;
    {
      Tracked t;
      std::thread poster([&] {
        for (int i = 0; i < 3; ++i)
          ASSERT_TRUE(
              postWork(client.uiThread(), [&ranOn, t] { ranOn.push_back(std::this_thread::get_id()); }));
      });
      poster.join();
    }
    EXPECT_EQ(alive, 3);
    postWork(client.uiThread(), [] { ui::postQuitMessage(0); });
    EXPECT_EQ(client.runMessageLoop(), 0);
    EXPECT_EQ(ranOn, std::vector<std::thread::id>(3, std::this_thread::get_id()));
    EXPECT_EQ(alive, 0);
  });
}

TEST(PostedWork, ThrowingWorkIsDroppedAndTheLoopGoesOn) {
  vtest::onUiThread([] {
    vtest::Journal j;
    shell::Client client(shell::StartOptions{}, ui::currentThreadId(), vtest::fakeParts(j, nullptr));
    int after = 0;
    postWork(client.uiThread(), [t = Tracked()] { throw std::runtime_error("posted failure"); });
    postWork(client.uiThread(), nullptr);  // empty job
    postWork(client.uiThread(), [&] {
      ++after;
      ui::postQuitMessage(0);
    });
    client.runMessageLoop();
    EXPECT_EQ(after, 1);
    EXPECT_EQ(alive, 0);
  });
}

TEST(PostedWork, WorkThatCannotBeDeliveredIsFreedNotRun) {
  bool ran = false;
  ui::ThreadId ui = 0;
  vtest::onUiThread([&] {
    ui = ui::currentThreadId();
    postWork(ui, [&ran, t = Tracked()] { ran = true; });
    ASSERT_TRUE(shell::post(ui, shell::TraceResultMessage{"trace left over"}));
    ASSERT_TRUE(shell::post(ui, shell::ReloadMessage{}));
    EXPECT_EQ(alive, 1);
  });  // the queue closes with three messages in it
  EXPECT_EQ(alive, 0);
  EXPECT_FALSE(postWork(ui, [&ran, t = Tracked()] { ran = true; }));
  EXPECT_FALSE(shell::post(ui, shell::TraceResultMessage{"nobody listens"}));
  EXPECT_EQ(alive, 0);
  EXPECT_FALSE(ran);
}

TEST(PostedWork, EachKindKeepsItsMessageNumberAndOthersAreNotTaken) {
  vtest::onUiThread([] {
    const ui::ThreadId me = ui::currentThreadId();
    const std::pair<shell::ThreadMessage, unsigned> kinds[] = {
        {shell::ReloadMessage{}, 1148u},
        {shell::ClientHelloMessage{}, 1149u},
        {shell::TraceResultMessage{"report"}, 1150u},
        {shell::InvokeMessage{[] {}}, 1152u},
    };
    for (const auto& [message, number] : kinds) {
      ASSERT_TRUE(shell::post(me, message));
      ui::Message msg;
      ASSERT_TRUE(ui::peekMessage(msg));
      EXPECT_EQ(msg.message, number);
      const auto taken = shell::takeThreadMessage(msg);
      ASSERT_TRUE(taken);
      EXPECT_EQ(taken->index(), message.index());
    }

    // Window messages, other numbers and empty ones stay with whoever posted them.
    int notOurs = 0;
    const auto carried = reinterpret_cast<ui::WParam>(&notOurs);
    const ui::Message others[] = {
        {reinterpret_cast<ui::WindowHandle>(&notOurs), 1150, carried, 0},
        {nullptr, ui::WmUser, carried, 0},
        {nullptr, 1151, carried, 0},
        {nullptr, 1152, 0, 0},
    };
    for (const ui::Message& msg : others) {
      auto taken = shell::takeThreadMessage(msg);
      EXPECT_FALSE(taken) << "message " << msg.message;
      taken.release();
    }
  });
}
