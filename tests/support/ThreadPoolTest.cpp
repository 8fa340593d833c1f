#include "support/ThreadPool.h"

#include "tests/common/WaitFor.h"

#include <gtest/gtest.h>
#include <boost/thread/thread.hpp>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

TEST(ThreadPool, JobsRunOneAtATimeInPostingOrder) {
  std::mutex lock;
  std::vector<int> order;
  std::atomic<int> running{0}, overlaps{0};
  {
    mstd::thread_pool pool;
    for (int i = 0; i < 5; ++i)
      pool.post([&, i] {
        if (running.fetch_add(1) != 0) overlaps.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        {
          std::lock_guard<std::mutex> guard(lock);
          order.push_back(i);
        }
        running.fetch_sub(1);
      });
    ASSERT_TRUE(vtest::waitFor(
        [&] {
          std::lock_guard<std::mutex> guard(lock);
          return order.size() == 5;
        },
        5000));
  }
  EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4}), order);
  EXPECT_EQ(0, overlaps.load());
}

TEST(ThreadPool, ThrowingAndEmptyJobsDoNotStopTheWorker) {
  std::atomic<bool> ran{false};
  mstd::thread_pool pool;
  pool.post([] { throw std::runtime_error("job failed"); });
  pool.post([] { throw 42; });
  pool.post(std::function<void()>());
  pool.post([&] { ran = true; });
  EXPECT_TRUE(vtest::waitFor([&] { return ran.load(); }, 5000));
}

TEST(ThreadPool, JobPostedByAJobRunsAfterIt) {
  std::atomic<int> step{0};
  mstd::thread_pool pool;
  pool.post([&] {
    pool.post([&] { step = step == 1 ? 2 : -1; });
    step = 1;
  });
  EXPECT_TRUE(vtest::waitFor([&] { return step.load() == 2; }, 5000));
}

// A job whose bound state posts from its destructor must not find the pool's mutex held.
struct PostsWhenDestroyed {
  PostsWhenDestroyed(mstd::thread_pool& pool, std::atomic<bool>& ran) : pool(&pool), ran(&ran) {}
  PostsWhenDestroyed(const PostsWhenDestroyed& other) : pool(other.pool), ran(other.ran) {}
  ~PostsWhenDestroyed() {
    if (armed && pool) pool->post([flag = ran] { *flag = true; });
  }
  void operator()() { armed = true; }
  mstd::thread_pool* pool;
  std::atomic<bool>* ran;
  bool armed = false;
};

TEST(ThreadPool, JobDestructorMayPostAgain) {
  std::atomic<bool> ran{false};
  mstd::thread_pool pool;
  pool.post(PostsWhenDestroyed(pool, ran));
  EXPECT_TRUE(vtest::waitFor([&] { return ran.load(); }, 5000));
}

TEST(ThreadPool, QueuedJobsAreDestroyedWithoutRunningAtDestruction) {
  std::atomic<bool> started{false}, laterRan{false};
  std::shared_ptr<int> token = std::make_shared<int>(0);
  auto* pool = new mstd::thread_pool(boost::chrono::milliseconds(50));
  // Runs until the destructor asks it to end, so the stop flag is up before it returns.
  pool->post([&] {
    started = true;
    while (!boost::this_thread::interruption_requested())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  pool->post([&, token] { laterRan = true; });
  pool->post([&, token] { laterRan = true; });
  ASSERT_TRUE(vtest::waitFor([&] { return started.load(); }, 5000));
  EXPECT_EQ(3, token.use_count());

  delete pool;
  EXPECT_FALSE(laterRan.load());
  EXPECT_EQ(1, token.use_count());
}

TEST(ThreadPool, WorkerWaitingWhenStoppedTakesOneMoreQueuedJob) {
  std::atomic<bool> release{false}, ended{false};
  std::atomic<int> ran{0};
  const int queued = 50;
  {
    mstd::thread_pool pool;
    pool.post([&] {
      while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      ended = true;
    });
    // Posted while the first job runs: nobody waits, so these wake nobody.
    for (int i = 0; i < queued; ++i) pool.post([&] { ran.fetch_add(1); });
    release = true;
    ASSERT_TRUE(vtest::waitFor([&] { return ended.load(); }, 5000));
    // A job that ran after its wait timed out: the worker is back in its loop of waits.
    ASSERT_TRUE(vtest::waitFor([&] { return ran.load() >= 1; }, 5000));
  }
  // A job per 100 ms wait, and one more at the stop: the queue would take seconds to run out.
  EXPECT_LT(ran.load(), queued);
}

TEST(ThreadPool, AJobMayDestroyItsOwnPool) {
  std::atomic<bool> go{false}, destroyed{false}, laterRan{false};
  auto* pool = new mstd::thread_pool;
  pool->post([&, pool] {
    while (!go.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    delete pool;
    destroyed = true;
  });
  pool->post([&] { laterRan = true; });
  go = true;
  EXPECT_TRUE(vtest::waitFor([&] { return destroyed.load(); }, 5000));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_FALSE(laterRan.load());
}

TEST(ThreadPool, DestructionInterruptsAJobThatOutlivesTheJoinTimeout) {
  std::atomic<bool> interrupted{false};
  std::atomic<bool> started{false};
  {
    mstd::thread_pool pool(boost::chrono::milliseconds(50));
    pool.post([&] {
      started = true;
      try {
        boost::this_thread::sleep_for(boost::chrono::seconds(60));
      } catch (const boost::thread_interrupted&) {
        interrupted = true;
        throw;
      }
    });
    ASSERT_TRUE(vtest::waitFor([&] { return started.load(); }, 5000));
  }
  EXPECT_TRUE(interrupted.load());
}

TEST(ThreadPool, DestructionLeavesAnUninterruptibleJobRunningSafely) {
  std::atomic<bool> started{false}, release{false}, finished{false};
  {
    mstd::thread_pool pool(boost::chrono::milliseconds(50));
    pool.post([&] {
      started = true;
      while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      finished = true;
    });
    ASSERT_TRUE(vtest::waitFor([&] { return started.load(); }, 5000));
  }
  EXPECT_FALSE(finished.load());
  release = true;
  EXPECT_TRUE(vtest::waitFor([&] { return finished.load(); }, 5000));
}

}  // namespace
