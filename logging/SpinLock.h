#pragma once

#include <atomic>
#include <thread>

namespace mlog {
namespace detail {

// Lock for the few-instruction sections on the record path (stream stack, device set
// reference): waiting threads spin briefly and then yield instead of sleeping in the kernel.
class SpinLock {
 public:
  void lock() noexcept {
    for (int spins = 0; locked_.exchange(true, std::memory_order_acquire); ++spins) {
      while (locked_.load(std::memory_order_relaxed)) {
        if (++spins > 64) std::this_thread::yield();
      }
    }
  }
  void unlock() noexcept { locked_.store(false, std::memory_order_release); }

 private:
  std::atomic<bool> locked_{false};
};

}  // namespace detail
}  // namespace mlog
