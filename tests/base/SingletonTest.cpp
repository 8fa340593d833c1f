#include "base/Singleton.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/common/WaitFor.h"

namespace {

// Callers that have asked for an instance; a build waits for all of them, so
// that the others ask while it runs.
std::atomic<int> callers{0};

bool allCalled(int count) {
  return vtest::waitFor([count] { return callers.load() >= count; }, 10000);
}

struct SlowObject {
  static std::atomic<int> constructed;
  SlowObject() {
    constructed.fetch_add(1);
    allCalled(8);
  }
};
std::atomic<int> SlowObject::constructed{0};

TEST(Singleton, ConcurrentFirstUseBuildsOneObject) {
  callers = 0;
  std::vector<std::thread> threads;
  std::vector<SlowObject*> seen(8, nullptr);
  std::atomic<bool> go{false};
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&, i] {
      while (!go.load()) std::this_thread::yield();
      callers.fetch_add(1);
      seen[i] = &mstd::singleton<SlowObject>::instance();
    });
  go = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(1, SlowObject::constructed.load());
  for (SlowObject* object : seen) EXPECT_EQ(seen[0], object);
  EXPECT_EQ(seen[0], &mstd::singleton<SlowObject>::instance());
}

struct FailsOnce {
  static std::atomic<int> attempts;
  FailsOnce() {
    if (attempts.fetch_add(1) == 0) throw std::runtime_error("first build fails");
  }
};
std::atomic<int> FailsOnce::attempts{0};

TEST(Singleton, ThrowingConstructorLetsALaterCallerRetry) {
  EXPECT_THROW(mstd::singleton<FailsOnce>::instance(), std::runtime_error);
  FailsOnce& object = mstd::singleton<FailsOnce>::instance();
  EXPECT_EQ(&object, &mstd::singleton<FailsOnce>::instance());
  EXPECT_EQ(2, FailsOnce::attempts.load());
}

struct SlowFailsOnce {
  static std::atomic<int> attempts;
  SlowFailsOnce() {
    const int attempt = attempts.fetch_add(1);
    if (attempt == 0) {
      allCalled(2);
      throw std::runtime_error("first build fails");
    }
  }
};
std::atomic<int> SlowFailsOnce::attempts{0};

TEST(Singleton, CallerWaitingOnAFailedBuildTakesOverInsteadOfSpinning) {
  callers = 0;
  std::atomic<int> failures{0}, successes{0};
  auto call = [&] {
    callers.fetch_add(1);
    try {
      mstd::singleton<SlowFailsOnce>::instance();
      successes.fetch_add(1);
    } catch (const std::runtime_error&) {
      failures.fetch_add(1);
    }
  };
  std::thread first(call);
  std::thread second(call);
  first.join();
  second.join();
  EXPECT_EQ(1, failures.load());
  EXPECT_EQ(1, successes.load());
  EXPECT_EQ(2, SlowFailsOnce::attempts.load());
}

template <int N>
struct Announced {
  ~Announced() { std::fprintf(stderr, "exit:S%d ", N); }
};

void registerPrinter(const char* text, bool throws) {
  mstd::at_exit_register([text, throws] {
    std::fprintf(stderr, "exit:%s ", text);
    if (throws) throw std::runtime_error(text);
  });
}

TEST(SingletonDeathTest, ExitRunsDestroyFunctionsInReverseOrderPastAThrowingOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        mstd::singleton<Announced<1>>::instance();
        registerPrinter("f1", false);
        mstd::singleton<Announced<2>>::instance();
        registerPrinter("f2", true);
        std::thread([] { registerPrinter("f3", false); }).join();
        std::exit(0);
      },
      testing::ExitedWithCode(0), "exit:f3 exit:f2 exit:S2 exit:f1 exit:S1 ");
}

TEST(SingletonDeathTest, ObjectFirstUsedDuringExitIsStillDestroyed) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        mstd::at_exit_register([] { mstd::singleton<Announced<3>>::instance(); });
        std::exit(0);
      },
      testing::ExitedWithCode(0), "exit:S3 ");
}

}  // namespace
