#pragma once

#include <cstddef>
#include <string>

#include "platform/com/Com.h"

namespace platform::com {

// BSTR: UTF-16 units preceded by their byte length (32-bit) and followed by a
// zero unit; the pointer addresses the first unit. Null is the empty string.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);  // text may be null: zeroed
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);

inline BSTR allocBstr(const std::u16string& text) {
  return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}
inline std::u16string bstrText(BSTR text) {
  return text ? std::u16string(text, SysStringLen(text)) : std::u16string();
}

// Owns one BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::u16string& text) : p_(allocBstr(text)) {}
  ~Bstr() { SysFreeString(p_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Bstr& operator=(Bstr&& o) noexcept {
    if (this != &o) {
      SysFreeString(p_);
      p_ = o.p_;
      o.p_ = nullptr;
    }
    return *this;
  }
  BSTR get() const { return p_; }
  // For out parameters: frees the held string first.
  BSTR* out() {
    SysFreeString(p_);
    p_ = nullptr;
    return &p_;
  }
  std::u16string text() const { return bstrText(p_); }

 private:
  BSTR p_ = nullptr;
};

}  // namespace platform::com
