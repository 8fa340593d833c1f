#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "shell/Client.h"
#include "shell/Invoker.h"
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

struct Target {
  std::vector<std::string> calls;
  void entryFinished(std::uint32_t index, int action, int code) {
    calls.push_back(std::to_string(index) + "/" + std::to_string(action) + "/" + std::to_string(code));
  }
};

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
          ASSERT_TRUE(shell::postToThread(client.uiThread(),
                                          [&ranOn, t] { ranOn.push_back(std::this_thread::get_id()); }));
      });
      poster.join();
    }
    EXPECT_EQ(alive, 3);
    Target target;
    shell::postCall(client.uiThread(), std::bind(&Target::entryFinished, &target, 4u, 1, 404));
    shell::postToThread(client.uiThread(), [] { ui::postQuitMessage(0); });
    EXPECT_EQ(client.runMessageLoop(), 0);
    EXPECT_EQ(ranOn, std::vector<std::thread::id>(3, std::this_thread::get_id()));
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(target.calls, std::vector<std::string>{"4/1/404"});
  });
}

TEST(PostedWork, ThrowingWorkIsDroppedAndTheLoopGoesOn) {
  vtest::onUiThread([] {
    vtest::Journal j;
    shell::Client client(shell::StartOptions{}, ui::currentThreadId(), vtest::fakeParts(j, nullptr));
    int after = 0;
    shell::postToThread(client.uiThread(), [t = Tracked()] { throw std::runtime_error("posted failure"); });
    shell::postToThread(client.uiThread(), boost::function<void()>());  // empty job
    shell::postToThread(client.uiThread(), [&] {
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
    shell::postToThread(ui, [&ran, t = Tracked()] { ran = true; });
    shell::postCall(ui, [t = Tracked()] {});
    ASSERT_TRUE(shell::postTraceResult(ui, "trace left over"));
    EXPECT_EQ(alive, 2);
  });  // the queue closes with three messages in it
  EXPECT_EQ(alive, 0);
  EXPECT_FALSE(shell::postToThread(ui, [&ran, t = Tracked()] { ran = true; }));
  EXPECT_FALSE(shell::postTraceResult(ui, "nobody listens"));
  EXPECT_EQ(alive, 0);
  EXPECT_FALSE(ran);
}
