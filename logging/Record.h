#pragma once

#include "base/ReferenceCounter.h"

#include <boost/intrusive_ptr.hpp>

#include <cstdint>
#include <new>

namespace mlog {
namespace detail {

struct RecordDisposer {
  template <class T>
  void operator()(const T* record) const noexcept {
    record->~T();
    ::operator delete(const_cast<T*>(record));
  }
};

// Finished record: one counted block with the text and a NUL right after the header fields.
class Record : public mstd::reference_counter<Record, RecordDisposer> {
 public:
  static boost::intrusive_ptr<Record> create(int group, int level, std::uint32_t length) {
    void* block = ::operator new(sizeof(Record) + length + 1);
    return boost::intrusive_ptr<Record>(new (block) Record(group, level, length));
  }

  int group() const noexcept { return group_; }
  int level() const noexcept { return level_; }
  std::uint32_t length() const noexcept { return length_; }
  char* text() noexcept { return reinterpret_cast<char*>(this + 1); }
  const char* text() const noexcept { return reinterpret_cast<const char*>(this + 1); }

 private:
  Record(int group, int level, std::uint32_t length) : group_(group), level_(level), length_(length) {}

  std::int32_t group_;
  std::int32_t level_;
  std::uint32_t length_;
};

}  // namespace detail
}  // namespace mlog
