#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/ui/MessageLoop.h"
#include "platform/ui/Window.h"

namespace ui = platform::ui;

namespace {

// Runs `body` on a fresh thread with a queue of its own (fresh quit and timers).
template <class F>
void onFreshThread(F body) {
  std::thread t([&] {
    ui::ensureMessageQueue();
    body();
    ui::closeMessageQueue();
  });
  t.join();
}

}  // namespace

TEST(MessageLoop, PostsFromManyThreadsArriveInOrderThenQuit) {
  onFreshThread([] {
    const ui::ThreadId me = ui::currentThreadId();
    constexpr int threads = 4, each = 500;
    std::vector<std::thread> posters;
    for (int t = 0; t < threads; ++t)
      posters.emplace_back([=] {
        for (int i = 0; i < each; ++i) ASSERT_TRUE(ui::postThreadMessage(me, ui::WmUser + t, i, 0));
      });
    for (auto& p : posters) p.join();
    ui::postQuitMessage(7);
    std::vector<int> next(threads, 0);
    ui::Message msg;
    int seen = 0;
    while (ui::getMessage(msg)) {
      const unsigned t = msg.message - ui::WmUser;
      ASSERT_LT(t, static_cast<unsigned>(threads));
      EXPECT_EQ(static_cast<int>(msg.wParam), next[t]++);
      ++seen;
    }
    EXPECT_EQ(seen, threads * each);  // quit comes after what was already posted
    EXPECT_EQ(msg.message, static_cast<unsigned>(ui::WmQuit));
    EXPECT_EQ(msg.wParam, 7u);
  });
}

TEST(MessageLoop, PostingToAThreadWithoutAnOpenQueueFails) {
  ui::ThreadId gone = 0;
  onFreshThread([&] { gone = ui::currentThreadId(); });
  EXPECT_FALSE(ui::postThreadMessage(gone, ui::WmUser, 0, 0));
  EXPECT_FALSE(ui::postThreadMessage(0xFFFFFFF0u, ui::WmUser, 0, 0));
}

TEST(MessageLoop, ClosingDisposesWhatIsLeftAndRefusesLaterPosts) {
  std::vector<ui::WParam> disposed;
  ui::ThreadId id = 0;
  std::thread t([&] {
    ui::ensureMessageQueue();
    id = ui::currentThreadId();
    ui::setMessageDisposer([&](const ui::Message& m) { disposed.push_back(m.wParam); });
    ui::postThreadMessage(id, ui::WmUser, 1, 0);
    ui::postThreadMessage(id, ui::WmUser, 2, 0);
    ui::closeMessageQueue();
    EXPECT_FALSE(ui::postThreadMessage(id, ui::WmUser, 3, 0));
  });
  t.join();
  EXPECT_EQ(disposed, (std::vector<ui::WParam>{1, 2}));
}

TEST(MessageLoop, TimersTickUntilKilledAndDieWithTheirWindow) {
  onFreshThread([] {
    int ticks1 = 0, ticks2 = 0;
    ui::WindowHandle w = ui::createWindow("t", 0, ui::Rect{0, 0, 10, 10},
                                          [&](ui::WindowHandle h, unsigned m, ui::WParam wp, ui::LParam) {
                                            if (m != ui::WmTimer) return ui::LResult{0};
                                            if (wp == 1 && ++ticks1 == 3) ui::killTimer(h, 1);
                                            if (wp == 2 && ++ticks2 == 5) ui::destroyWindow(h);
                                            return ui::LResult{0};
                                          });
    ASSERT_TRUE(ui::setTimer(w, 1, 5));
    ASSERT_TRUE(ui::setTimer(w, 2, 20));
    ui::Message msg;
    while (ui::isWindow(w) && ui::getMessage(msg)) ui::dispatchMessage(msg);
    EXPECT_EQ(ticks1, 3);
    EXPECT_EQ(ticks2, 5);
    EXPECT_FALSE(ui::peekMessage(msg));  // no timer outlives its window
    EXPECT_FALSE(ui::setTimer(w, 1, 5));
  });
}

TEST(MessageLoop, WindowMessagesReachTheHandlerThroughTheLoop) {
  onFreshThread([] {
    std::vector<unsigned> got;
    ui::WindowHandle w =
        ui::createWindow("t", 0, ui::Rect{}, [&](ui::WindowHandle, unsigned m, ui::WParam, ui::LParam) {
          got.push_back(m);
          return ui::LResult{0};
        });
    std::thread([w] { ui::postMessage(w, ui::WmUser + 5, 0, 0); }).join();
    ui::Message msg;
    ASSERT_TRUE(ui::getMessage(msg));
    EXPECT_EQ(msg.window, w);
    ui::dispatchMessage(msg);
    EXPECT_EQ(got, (std::vector<unsigned>{ui::WmCreate, ui::WmUser + 5}));
    ui::destroyWindow(w);
    EXPECT_FALSE(ui::postMessage(w, ui::WmUser, 0, 0));
  });
}
