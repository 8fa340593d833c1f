#include "logging/StreamBuf.h"

#include <cstring>

namespace mlog {
namespace detail {

StreamBuf::StreamBuf() noexcept : last_(&first_), allocated_(0) {
  first_.next = nullptr;
  setp(first_.data, first_.data + chunkSize);
}

StreamBuf::~StreamBuf() {
  reset();
}

void StreamBuf::addChunk() {
  Chunk* chunk = new Chunk;
  chunk->next = nullptr;
  last_->next = chunk;
  last_ = chunk;
  ++allocated_;
  setp(chunk->data, chunk->data + chunkSize);
}

StreamBuf::int_type StreamBuf::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  try {
    addChunk();
  } catch (...) {
    // Out of memory: the record ends here; the logger cannot write about itself.
    return traits_type::eof();
  }
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize StreamBuf::xsputn(const char* text, std::streamsize count) {
  std::streamsize written = 0;
  while (written < count) {
    std::streamsize room = epptr() - pptr();
    if (room == 0) {
      try {
        addChunk();
      } catch (...) {
        break;  // out of memory: the record keeps what fitted
      }
      room = chunkSize;
    }
    const std::streamsize part = count - written < room ? count - written : room;
    std::memcpy(pptr(), text + written, static_cast<std::size_t>(part));
    pbump(static_cast<int>(part));
    written += part;
  }
  return written;
}

void StreamBuf::copyTo(char* out) const noexcept {
  for (const Chunk* chunk = &first_; chunk != last_; chunk = chunk->next) {
    std::memcpy(out, chunk->data, chunkSize);
    out += chunkSize;
  }
  std::memcpy(out, last_->data, static_cast<std::size_t>(pptr() - pbase()));
}

void StreamBuf::reset() noexcept {
  Chunk* chunk = first_.next;
  while (chunk) {
    Chunk* next = chunk->next;
    delete chunk;
    chunk = next;
  }
  first_.next = nullptr;
  last_ = &first_;
  allocated_ = 0;
  setp(first_.data, first_.data + chunkSize);
}

}  // namespace detail
}  // namespace mlog
