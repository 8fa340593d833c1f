#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace mstd {

// A reference-counted byte block handed out by BufferPool. The 12-byte header
// (count, owning block list, length) is followed by the data bytes.
struct PooledBuffer {
  std::atomic<std::int32_t> count;
  std::uint32_t owner;  // index of the pool's block list the block came from
  std::uint32_t length;

  unsigned char* data() { return reinterpret_cast<unsigned char*>(this) + header_size; }
  const unsigned char* data() const { return reinterpret_cast<const unsigned char*>(this) + header_size; }

  std::uint32_t blockSize() const;
  std::uint32_t capacity() const { return blockSize() - header_size; }
  std::uint32_t room() const { return capacity() - length; }

  static constexpr std::uint32_t header_size = 12;
};

static_assert(sizeof(std::atomic<std::int32_t>) == 4, "count must be 4 bytes");

void intrusive_ptr_add_ref(PooledBuffer* buffer);
void intrusive_ptr_release(PooledBuffer* buffer);

}  // namespace mstd
