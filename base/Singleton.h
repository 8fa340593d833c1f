#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace mstd {

// Appends a destroy function to the exit list. At process exit the list runs from the last
// registered function to the first; an exception thrown by one is dropped and the next runs.
// Safe from any thread.
void at_exit_register(std::function<void()> destroy);

namespace detail {
// Moves the state word from 0 to 2 and returns true, or returns false once it reads 1.
// While another thread builds (2), yields and reads again.
inline bool begin_build(std::atomic<int>& state) noexcept {
  int seen = 0;
  while (!state.compare_exchange_weak(seen, 2, std::memory_order_acq_rel, std::memory_order_acquire)) {
    if (seen == 1) return false;
    if (seen == 2) std::this_thread::yield();
    seen = 0;
  }
  return true;
}
}  // namespace detail

// Process-wide T created on first use and destroyed through the exit list.
// State word: 0 not created, 2 being created, 1 ready.
// If T's constructor throws, the word goes back to 0 and the exception propagates; the next
// caller tries again.
template <class T>
class singleton {
 public:
  static T& instance() {
    if (state_.load(std::memory_order_acquire) == 1) return *object_;
    return create();
  }

 private:
  static T& create();
  static void destroy();

  static std::atomic<int> state_;
  static T* object_;
};

template <class T>
std::atomic<int> singleton<T>::state_{0};
template <class T>
T* singleton<T>::object_ = nullptr;

template <class T>
T& singleton<T>::create() {
  if (!detail::begin_build(state_)) return *object_;
  T* object = nullptr;
  try {
    object = new T();
    object_ = object;
    at_exit_register(&singleton::destroy);
  } catch (...) {
    object_ = nullptr;
    delete object;
    state_.store(0, std::memory_order_release);
    throw;
  }
  state_.exchange(1, std::memory_order_acq_rel);
  return *object;
}

template <class T>
void singleton<T>::destroy() {
  T* object = object_;
  object_ = nullptr;
  // A later first use (from another exit function) builds a fresh object.
  state_.store(0, std::memory_order_release);
  delete object;
}

}  // namespace mstd
