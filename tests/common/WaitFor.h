#pragma once

#include <chrono>
#include <thread>

namespace vtest {

// Polls `pred` until it holds or `ms` milliseconds pass; returns its last value.
template <class Pred>
bool waitFor(Pred&& pred, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (pred()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return pred();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace vtest
