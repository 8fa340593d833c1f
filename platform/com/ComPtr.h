#pragma once

#include <utility>

#include "platform/com/Com.h"

namespace platform::com {

// Owns one reference to a COM object.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller already holds.
  explicit ComPtr(T* p) : p_(p) {}
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = std::exchange(o.p_, nullptr);
    }
    return *this;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Gives the reference up to the caller.
  T* detach() { return std::exchange(p_, nullptr); }
  // For out parameters: releases the held reference first.
  void** out() {
    reset();
    return reinterpret_cast<void**>(&p_);
  }
  // QueryInterface for `iid` into a new pointer; empty on failure.
  template <class U>
  ComPtr<U> query(REFIID iid) const {
    ComPtr<U> result;
    if (p_ && FAILED(p_->QueryInterface(iid, result.out())))
      result.detach();  // a failed call's value is not used
    return result;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace platform::com
