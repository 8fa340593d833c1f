#include "logging/Stream.h"

namespace mlog {
namespace detail {

Stream::Stream() : std::ostream(&buffer_) {}

Stream::~Stream() = default;

void Stream::reset() noexcept {
  buffer_.reset();
  // Formatting set by one record (hex, precision, fill) must not leak into the next.
  flags(std::ios_base::dec | std::ios_base::skipws);
  precision(6);
  width(0);
  fill(' ');
  clear();
}

}  // namespace detail
}  // namespace mlog
