#include "logging/StreamPool.h"

#include "base/Singleton.h"
#include "logging/SpinLock.h"
#include "logging/Stream.h"

#include <mutex>
#include <vector>

namespace mlog {
namespace detail {

struct StreamPool::Impl {
  mutable SpinLock lock;
  std::vector<Stream*> idle;
  std::size_t taken = 0;
};

StreamPool& StreamPool::instance() {
  return mstd::singleton<StreamPool>::instance();
}

StreamPool::StreamPool() : impl_(new Impl) {
  impl_->idle.reserve(16);
}

StreamPool::~StreamPool() {
  for (Stream* stream : impl_->idle) delete stream;
}

Stream* StreamPool::take() {
  {
    std::lock_guard<SpinLock> guard(impl_->lock);
    ++impl_->taken;
    if (!impl_->idle.empty()) {
      Stream* stream = impl_->idle.back();
      impl_->idle.pop_back();
      return stream;
    }
  }
  return new Stream;
}

void StreamPool::give(Stream* stream) noexcept {
  stream->reset();
  std::lock_guard<SpinLock> guard(impl_->lock);
  try {
    impl_->idle.push_back(stream);
  } catch (...) {
    delete stream;  // the pool could not grow; the next record takes a new stream
  }
}

std::size_t StreamPool::taken() const {
  std::lock_guard<SpinLock> guard(impl_->lock);
  return impl_->taken;
}

std::size_t StreamPool::idle() const {
  std::lock_guard<SpinLock> guard(impl_->lock);
  return impl_->idle.size();
}

}  // namespace detail
}  // namespace mlog
