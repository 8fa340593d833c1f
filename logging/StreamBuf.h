#pragma once

#include <cstddef>
#include <streambuf>

namespace mlog {
namespace detail {

// Output buffer made of 256-byte chunks; the first chunk is part of the object.
class StreamBuf : public std::streambuf {
 public:
  static constexpr std::size_t chunkSize = 256;

  StreamBuf() noexcept;
  StreamBuf(const StreamBuf&) = delete;
  StreamBuf& operator=(const StreamBuf&) = delete;
  ~StreamBuf() override;

  std::size_t length() const noexcept { return chunkSize * allocated_ + (pptr() - pbase()); }
  std::size_t allocatedChunks() const noexcept { return allocated_; }
  // Copies the text, length() bytes, to out.
  void copyTo(char* out) const noexcept;
  // Frees the allocated chunks and starts again at the built-in chunk.
  void reset() noexcept;

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;

 private:
  struct Chunk {
    char data[chunkSize];
    Chunk* next;
  };

  void addChunk();

  Chunk first_;
  Chunk* last_;
  std::size_t allocated_;
};

}  // namespace detail
}  // namespace mlog
