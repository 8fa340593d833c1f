#include "base/ReferenceCounter.h"

#include <gtest/gtest.h>
#include <boost/intrusive_ptr.hpp>

#include <atomic>
#include <thread>

namespace {

std::atomic<int> destroyed{0};

struct Counted : mstd::reference_counter<Counted> {
  virtual ~Counted() { destroyed.fetch_add(1); }
};

struct Derived : Counted {
  explicit Derived(bool* flag) : flag(flag) {}
  ~Derived() override { *flag = true; }
  bool* flag;
};

TEST(ReferenceCounter, CountsPointersAndDeletesThroughVirtualDestructor) {
  destroyed = 0;
  bool derivedGone = false;
  {
    boost::intrusive_ptr<Counted> first(new Derived(&derivedGone));
    EXPECT_EQ(1u, first->reference_count());
    {
      boost::intrusive_ptr<Counted> second = first;
      EXPECT_EQ(2u, first->reference_count());
    }
    EXPECT_EQ(1u, first->reference_count());
    EXPECT_FALSE(derivedGone);
  }
  EXPECT_TRUE(derivedGone);
  EXPECT_EQ(1, destroyed.load());
}

TEST(ReferenceCounter, ACopiedObjectStartsWithItsOwnCount) {
  boost::intrusive_ptr<Counted> original(new Counted);
  boost::intrusive_ptr<Counted> copy(new Counted(*original));
  EXPECT_EQ(1u, copy->reference_count());
  EXPECT_EQ(1u, original->reference_count());
}

TEST(ReferenceCounter, TwoThreadsReleasingTheLastReferencesDeleteOnce) {
  destroyed = 0;
  const int rounds = 20000;
  boost::intrusive_ptr<Counted> mine, theirs;
  std::atomic<int> started{0}, finished{0};
  std::thread other([&] {
    for (int round = 1; round <= rounds; ++round) {
      while (started.load() < round) std::this_thread::yield();
      theirs.reset();
      finished.store(round);
    }
  });
  for (int round = 1; round <= rounds; ++round) {
    mine.reset(new Counted);
    theirs = mine;
    started.store(round);
    mine.reset();
    while (finished.load() < round) std::this_thread::yield();
  }
  other.join();
  EXPECT_EQ(rounds, destroyed.load());
}

}  // namespace
