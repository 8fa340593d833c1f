#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <stdexcept>

#include "gamehost/TraceQueue.h"
#include "support/ThreadPool.h"
#include "tests/common/WaitFor.h"

using gamehost::TraceQueue;

namespace {

// A trace that waits until released; "fail" throws.
struct HeldTrace {
  std::mutex lock;
  std::condition_variable changed;
  bool released = false;
  std::string operator()(const std::string& host) {
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [&] { return released; });
    if (host == "fail") throw std::runtime_error("unreachable");
    return "route to " + host;
  }
  void release() {
    std::lock_guard<std::mutex> hold(lock);
    released = true;
    changed.notify_all();
  }
};

}  // namespace

TEST(TraceQueue, AFewTracesAreKeptAndTheRestDroppedUntilTheyEnd) {
  HeldTrace held;
  mstd::thread_pool pool;
  TraceQueue queue([&](const std::string& host) { return held(host); });
  std::mutex lock;
  std::vector<std::string> reports;
  const auto done = [&](const std::string& r) {
    std::lock_guard<std::mutex> hold(lock);
    reports.push_back(r);
  };
  int accepted = 0;
  for (int i = 0; i < 100; ++i)
    accepted += queue.post(pool, i == 0 ? "fail" : "host" + std::to_string(i), done);
  EXPECT_EQ(accepted, TraceQueue::maxTraces);
  EXPECT_EQ(queue.outstanding(), TraceQueue::maxTraces);
  held.release();
  // A failed trace leaves its place too.
  EXPECT_TRUE(vtest::waitFor([&] { return queue.outstanding() == 0; }, 10000));
  {
    std::lock_guard<std::mutex> hold(lock);
    EXPECT_EQ(reports, (std::vector<std::string>{"route to host1", "route to host2"}));
  }
  EXPECT_TRUE(queue.post(pool, "later", done));
  EXPECT_TRUE(vtest::waitFor([&] { return queue.outstanding() == 0; }, 10000));
}
