#pragma once

#include <atomic>
#include <cstddef>
#include <new>
#include <utility>

namespace relay {

// Fixed storage for the state of one asynchronous operation. The operation
// claims the slot by compare-and-swap of its flag; a second operation that
// finds it taken goes to the general heap.
struct OperationSlot {
  static constexpr std::size_t size = 512;

  void* claim(std::size_t bytes) {
    int expected = 0;
    if (bytes <= size && inUse.compare_exchange_strong(expected, 1, std::memory_order_acquire))
      return storage;
    return ::operator new(bytes);
  }
  void give(void* memory) {
    if (memory == static_cast<void*>(storage))
      inUse.store(0, std::memory_order_release);
    else
      ::operator delete(memory);
  }

  alignas(std::max_align_t) unsigned char storage[size];
  std::atomic<int> inUse{0};
};

// Allocator handed to Asio as a handler's associated allocator.
template <class T>
class SlotAllocator {
 public:
  using value_type = T;

  explicit SlotAllocator(OperationSlot& slot) noexcept : slot_(&slot) {}
  template <class U>
  SlotAllocator(const SlotAllocator<U>& other) noexcept : slot_(other.slot_) {}

  T* allocate(std::size_t n) { return static_cast<T*>(slot_->claim(n * sizeof(T))); }
  void deallocate(T* p, std::size_t) noexcept { slot_->give(p); }

  template <class U>
  bool operator==(const SlotAllocator<U>& other) const noexcept {
    return slot_ == other.slot_;
  }
  template <class U>
  bool operator!=(const SlotAllocator<U>& other) const noexcept {
    return slot_ != other.slot_;
  }

 private:
  template <class U>
  friend class SlotAllocator;
  OperationSlot* slot_;
};

// A completion handler whose operation state lives in a slot.
template <class Handler>
class SlotHandler {
 public:
  using allocator_type = SlotAllocator<void>;

  SlotHandler(OperationSlot& slot, Handler handler) : slot_(&slot), handler_(std::move(handler)) {}

  allocator_type get_allocator() const noexcept { return allocator_type(*slot_); }

  template <class... Args>
  void operator()(Args&&... args) {
    handler_(std::forward<Args>(args)...);
  }

 private:
  OperationSlot* slot_;
  Handler handler_;
};

template <class Handler>
SlotHandler<Handler> inSlot(OperationSlot& slot, Handler handler) {
  return SlotHandler<Handler>(slot, std::move(handler));
}

}  // namespace relay
