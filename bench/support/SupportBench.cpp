#include "base/Exception.h"
#include "base/ReferenceCounter.h"
#include "base/Singleton.h"
#include "support/ThreadPool.h"

#include <benchmark/benchmark.h>
#include <boost/intrusive_ptr.hpp>

#include <atomic>
#include <string>
#include <thread>

namespace {

struct Service {
  int value = 1;
};

void SingletonInstance(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(&mstd::singleton<Service>::instance());
}
BENCHMARK(SingletonInstance)->ThreadRange(1, 2);

struct Counted : mstd::reference_counter<Counted> {
  virtual ~Counted() = default;
};

void IntrusivePointerCopy(benchmark::State& state) {
  static boost::intrusive_ptr<Counted> shared(new Counted);
  for (auto _ : state) {
    boost::intrusive_ptr<Counted> copy = shared;
    benchmark::DoNotOptimize(copy.get());
  }
}
BENCHMARK(IntrusivePointerCopy)->ThreadRange(1, 2);

struct Tag {};

void ThrowWithMessage(benchmark::State& state) {
  const std::string text = "connection refused";
  for (auto _ : state) {
    try {
      throw mstd::own_exception<Tag, mstd::exception>() << mstd::error_message(text);
    } catch (const mstd::exception& e) {
      benchmark::DoNotOptimize(mstd::message_of(e).size());
    }
  }
}
BENCHMARK(ThrowWithMessage);

// Posting alone: the jobs pile up and are destroyed with the pool.
void ThreadPoolPost(benchmark::State& state) {
  mstd::thread_pool pool;
  int sink = 0;
  for (auto _ : state) pool.post([&sink] { ++sink; });
}
BENCHMARK(ThreadPoolPost);

// One job to an idle (waiting) worker and back.
void ThreadPoolRoundTrip(benchmark::State& state) {
  mstd::thread_pool pool;
  std::atomic<int> done{0};
  int expected = 0;
  for (auto _ : state) {
    pool.post([&] { done.fetch_add(1, std::memory_order_release); });
    ++expected;
    while (done.load(std::memory_order_acquire) < expected) std::this_thread::yield();
  }
}
BENCHMARK(ThreadPoolRoundTrip)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
