#pragma once

#include <cstddef>
#include <memory>

namespace mstd {
template <class T>
class singleton;
}

namespace mlog {
namespace detail {

class Stream;

// Stack of idle streams shared by all writers; streams live until process exit.
class StreamPool {
 public:
  static StreamPool& instance();
  ~StreamPool();

  // The most recently returned stream, or a new one.
  Stream* take();
  // Resets the stream and keeps it for reuse.
  void give(Stream* stream) noexcept;

  // Number of take() calls so far.
  std::size_t taken() const;
  std::size_t idle() const;

 private:
  friend class mstd::singleton<StreamPool>;
  StreamPool();

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace detail
}  // namespace mlog
