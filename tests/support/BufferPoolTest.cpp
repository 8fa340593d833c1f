#include "support/BufferPool.h"

#include <gtest/gtest.h>

#include <boost/thread/thread.hpp>

#include <set>

using mstd::BufferPool;
using mstd::BufferPtr;
using mstd::PooledBuffer;

TEST(BufferPool, SizeClassEdges) {
  EXPECT_EQ(BufferPool::blockSizeFor(1), 24u);
  EXPECT_EQ(BufferPool::blockSizeFor(100), 120u);
  EXPECT_EQ(BufferPool::blockSizeFor(256), 264u);
  EXPECT_EQ(BufferPool::blockSizeFor(257), 520u);
  EXPECT_EQ(BufferPool::blockSizeFor(4096), 4104u);
  EXPECT_EQ(BufferPool::blockSizeFor(4097), 8200u);
  EXPECT_EQ(BufferPool::blockSizeFor(65536), 65544u);
  EXPECT_EQ(BufferPool::blockSizeFor(65540), 131080u);
  EXPECT_EQ(BufferPool::blockSizeFor(131076), 196616u);
  EXPECT_EQ(BufferPool::blockSizeFor(1048577), 2097160u);
  EXPECT_EQ(BufferPool::blockSizeFor(BufferPool::max_request), BufferPool::max_request + 8);
  EXPECT_EQ(BufferPool::blockSizeFor(BufferPool::max_request + 1), 0u);
  EXPECT_EQ(BufferPool::blocksPerChunk(256), 32u);
  EXPECT_EQ(BufferPool::blocksPerChunk(1024), 4u);  // class 1 limit 4096
  EXPECT_EQ(BufferPool::blocksPerChunk(65536), 4u);
  EXPECT_EQ(BufferPool::blocksPerChunk(65540), 1u);
}

TEST(BufferPool, AllocatedBlocksHaveTheClassCapacityAndOneReference) {
  BufferPool& pool = BufferPool::instance();
  PooledBuffer* a = pool.allocate(65540);
  EXPECT_EQ(a->capacity(), 131068u);
  EXPECT_EQ(a->count.load(), 1);
  PooledBuffer* b = pool.allocate(131076);
  EXPECT_EQ(b->capacity(), 196604u);
  PooledBuffer* c = pool.allocate(100);
  EXPECT_EQ(c->capacity(), 108u);
  // The whole capacity is usable.
  a->length = a->capacity();
  std::fill(a->data(), a->data() + a->capacity(), 0xA5);
  BufferPtr(a, false);
  BufferPtr(b, false);
  BufferPtr(c, false);

  BufferPtr taken = BufferPool::take(65536);
  EXPECT_EQ(taken->capacity(), 131068u);
  EXPECT_EQ(taken->length, 0u);
  EXPECT_FALSE(BufferPool::take(std::uint64_t(1) << 32));
  EXPECT_FALSE(BufferPool::take(BufferPool::max_capacity + 1));
}

TEST(BufferPool, ReleasesAreListedPerThreadUntilFourMiB) {
  // Runs on a fresh thread so that its list starts empty.
  boost::thread([] {
    BufferPool& pool = BufferPool::instance();
    EXPECT_EQ(pool.pendingOnThread(), 0u);
    std::set<PooledBuffer*> released;
    {
      BufferPtr a = BufferPool::take(1000);
      released.insert(a.get());
    }
    EXPECT_EQ(pool.pendingOnThread(), 1u);  // the list was made by the first release
    // A listed block is not handed out again before a flush.
    BufferPtr b = BufferPool::take(1000);
    EXPECT_EQ(released.count(b.get()), 0u);
    b.reset();
    EXPECT_EQ(pool.pendingOnThread(), 2u);
    // Blocks of 131,080 bytes: 31 more stay below 4 MiB, the 32nd reaches it and flushes.
    for (int i = 0; i < 31; ++i) BufferPool::take(65536);
    EXPECT_EQ(pool.pendingOnThread(), 33u);
    BufferPool::take(65536);
    EXPECT_EQ(pool.pendingOnThread(), 0u);
  }).join();
}

TEST(BufferPool, CountIsSharedAcrossThreads) {
  BufferPtr shared = BufferPool::take(64);
  std::vector<boost::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([shared] {
      for (int i = 0; i < 10000; ++i) BufferPtr copy(shared);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(shared->count.load(), 1);
}

TEST(BufferPoolDeathTest, UnservableRequestEndsTheProcessWithTheFatalLine) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(BufferPool::instance().allocate(BufferPool::max_request + 1), ::testing::ExitedWithCode(1),
              "^PIZDETSSSSSSSSS!!!!!11111oneoneone: 268435457, 268435464, 1\n$");
}
