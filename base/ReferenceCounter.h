#pragma once

#include <atomic>

namespace mstd {

// Counter changed only by interlocked add and subtract; both return the previous value.
template <class T>
class atomic {
 public:
  atomic() noexcept : value_(0) {}
  // A copied object starts a count of its own.
  atomic(const atomic&) noexcept : value_(0) {}
  atomic& operator=(const atomic&) noexcept { return *this; }

  T increment() noexcept { return value_.fetch_add(1, std::memory_order_relaxed); }
  T decrement() noexcept { return value_.fetch_sub(1, std::memory_order_acq_rel); }
  T load() const noexcept { return value_.load(std::memory_order_acquire); }

 private:
  std::atomic<T> value_;
};

struct delete_disposer {
  template <class T>
  void operator()(const T* object) const noexcept {
    delete object;
  }
};

template <class Counter>
class reference_counter_base {
 public:
  unsigned reference_count() const noexcept { return count_.load(); }

 protected:
  reference_counter_base() noexcept = default;
  reference_counter_base(const reference_counter_base&) noexcept {}
  reference_counter_base& operator=(const reference_counter_base&) noexcept { return *this; }
  ~reference_counter_base() = default;

  mutable Counter count_;
};

// Intrusive count for boost::intrusive_ptr<T>; T derives from it and has a virtual destructor
// when further classes derive from T. A new object starts with count 0.
template <class T, class Disposer = delete_disposer, class Counter = atomic<unsigned>>
class reference_counter : public reference_counter_base<Counter> {
 public:
  friend void intrusive_ptr_add_ref(const reference_counter* object) noexcept { object->count_.increment(); }

  friend void intrusive_ptr_release(const reference_counter* object) noexcept {
    if (object->count_.decrement() == 1) Disposer()(static_cast<const T*>(object));
  }

 protected:
  reference_counter() noexcept = default;
  reference_counter(const reference_counter&) noexcept = default;
  reference_counter& operator=(const reference_counter&) noexcept = default;
  ~reference_counter() = default;
};

}  // namespace mstd
