#pragma once

#include "logging/StreamBuf.h"

#include <ostream>

namespace mlog {
namespace detail {

// Holds the buffer so that it is built before the stream that writes into it.
class StreamBase {
 protected:
  StreamBuf buffer_;
};

// Narrow output stream over a chunked buffer; one record at a time.
class Stream : private StreamBase, public std::ostream {
 public:
  Stream();
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  ~Stream() override;

  StreamBuf& buffer() noexcept { return buffer_; }
  // Empties the buffer and restores the default formatting state.
  void reset() noexcept;
};

}  // namespace detail
}  // namespace mlog
