#pragma once

#include "support/PooledBuffer.h"

#include <boost/intrusive_ptr.hpp>

#include <cstdint>
#include <memory>

namespace mstd {

struct pending_release;

using BufferPtr = boost::intrusive_ptr<PooledBuffer>;

// Process-wide pool of PooledBuffer blocks in six size classes. Releases are
// listed per thread and given back to the free lists in 4 MiB batches.
class BufferPool {
 public:
  static constexpr std::uint32_t class_count = 6;
  static constexpr std::uint32_t max_request = 268435456;
  static constexpr std::uint32_t flush_threshold = 4194304;
  // The largest capacity a block can have.
  static constexpr std::uint32_t max_capacity = max_request + 8 - PooledBuffer::header_size;

  BufferPool();
  ~BufferPool();
  BufferPool(const BufferPool&) = delete;
  BufferPool& operator=(const BufferPool&) = delete;

  static BufferPool& instance();

  // request = wanted capacity + 4. Returns a block with count 1 and the length unset.
  // Ends the process with status 1 when no memory can be had.
  PooledBuffer* allocate(std::uint32_t request);

  // A counted reference to a block of at least `capacity` usable bytes and length 0;
  // null when the capacity exceeds max_capacity.
  static BufferPtr take(std::uint64_t capacity);

  // Block size for a request, 0 when the request is out of range.
  static std::uint32_t blockSizeFor(std::uint32_t request);
  static std::uint32_t blockSizeOf(std::uint32_t owner);
  static std::uint32_t blocksPerChunk(std::uint32_t request);

  // Called when a block's count reaches 0.
  void deferredRelease(PooledBuffer* block);
  // Gives the calling thread's listed blocks back to their free lists.
  void flushThread();
  // Blocks listed by the calling thread (for diagnostics and tests).
  std::uint32_t pendingOnThread() const;
  // Gives the listed blocks back to their free lists and empties the list.
  void flush(pending_release& list);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace mstd
