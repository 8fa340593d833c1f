#include "support/BufferPool.h"

#include "base/Singleton.h"
#include "logging/LogParticipant.h"
#include "support/PendingRelease.h"

#include <boost/pool/pool.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/tss.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace mstd {

namespace {

// Class c: granularity 16^(c+1), upper limit 16 times that.
constexpr std::uint32_t granularity(std::uint32_t c) {
  return 16u << (4 * c);
}
constexpr std::uint32_t upperLimit(std::uint32_t c) {
  return granularity(c) * 16;
}
constexpr std::uint32_t perChunk(std::uint32_t c) {
  return upperLimit(c) <= 1024 ? 32 : (upperLimit(c) <= 65536 ? 4 : 1);
}
static_assert(upperLimit(BufferPool::class_count - 1) == BufferPool::max_request, "size classes");

constexpr std::uint32_t list_count = BufferPool::class_count * 16;

std::uint32_t classOf(std::uint32_t request) {
  std::uint32_t c = 0;
  while (upperLimit(c) < request) ++c;
  return c;
}

// Block list index: class * 16 + (multiple of the granularity - 1).
std::uint32_t listIndex(std::uint32_t request) {
  const std::uint32_t c = classOf(request);
  const std::uint32_t multiple = (request + granularity(c) - 1) / granularity(c);
  return c * 16 + multiple - 1;
}

void pendingCleanup(pending_release* list);

// Declared during start-up beside the pool; the pool itself writes no records.
MLOG_DEFINE_PARTICIPANT(buffersLog, "buffers")

}  // namespace

struct BlockList {
  BlockList(std::uint32_t size, std::uint32_t chunk)
      : blockSize(size), pool(size, chunk, std::max<std::uint32_t>(chunk, flushLimit(size))) {}
  static std::uint32_t flushLimit(std::uint32_t size) { return BufferPool::flush_threshold / size; }

  std::uint32_t blockSize;
  boost::pool<boost::default_user_allocator_new_delete> pool;
};

struct BufferPool::Impl {
  boost::mutex lock;
  BlockList* lists[list_count] = {};
  boost::thread_specific_ptr<pending_release> pending{&pendingCleanup};
};

namespace {

BufferPool* live_pool = nullptr;

// A thread's listed blocks go back to the pool when the thread ends.
void pendingCleanup(pending_release* list) {
  if (live_pool && !list->blocks.empty()) {
    live_pool->flush(*list);
  }
  delete list;
}

}  // namespace

BufferPool::BufferPool() : impl_(new Impl) {
  live_pool = this;
}

BufferPool::~BufferPool() {
  live_pool = nullptr;
  impl_->pending.reset();
  for (BlockList* list : impl_->lists) delete list;
}

BufferPool& BufferPool::instance() {
  return singleton<BufferPool>::instance();
}

namespace {
// The pool is made during start-up, before anything that uses it.
[[maybe_unused]] BufferPool& pool_at_start = BufferPool::instance();
}  // namespace

std::uint32_t BufferPool::blockSizeFor(std::uint32_t request) {
  if (request == 0 || request > max_request) return 0;
  return blockSizeOf(listIndex(request));
}

std::uint32_t BufferPool::blockSizeOf(std::uint32_t owner) {
  const std::uint32_t c = owner / 16;
  return granularity(c) * (owner % 16 + 1) + 8;
}

std::uint32_t BufferPool::blocksPerChunk(std::uint32_t request) {
  return perChunk(classOf(request));
}

PooledBuffer* BufferPool::allocate(std::uint32_t request) {
  if (request == 0) request = 1;
  const std::uint32_t index = listIndex(std::min(request, max_request));
  void* memory;
  {
    boost::mutex::scoped_lock guard(impl_->lock);
    BlockList*& list = impl_->lists[index];
    if (!list) list = new BlockList(blockSizeOf(index), perChunk(index / 16));
    memory = request <= max_request ? list->pool.malloc() : nullptr;
  }
  if (!memory) {
    std::fprintf(stderr, "PIZDETSSSSSSSSS!!!!!11111oneoneone: %u, %u, %u\n", request, blockSizeOf(index),
                 perChunk(index / 16));
    std::fflush(stderr);
    std::exit(1);
  }
  PooledBuffer* block = static_cast<PooledBuffer*>(memory);
  new (&block->count) std::atomic<std::int32_t>(0);
  block->owner = index;
  intrusive_ptr_add_ref(block);
  return block;
}

BufferPtr BufferPool::take(std::uint64_t capacity) {
  if (capacity > max_capacity) return BufferPtr();
  PooledBuffer* block = instance().allocate(static_cast<std::uint32_t>(capacity + 4));
  block->length = 0;
  return BufferPtr(block, false);
}

void BufferPool::deferredRelease(PooledBuffer* block) {
  pending_release* list = impl_->pending.get();
  if (!list) {
    list = new pending_release;
    impl_->pending.reset(list);
  }
  list->blocks.push_back(block);
  list->total += block->blockSize();
  if (list->total >= flush_threshold) flush(*list);
}

void BufferPool::flushThread() {
  if (pending_release* list = impl_->pending.get()) flush(*list);
}

std::uint32_t BufferPool::pendingOnThread() const {
  pending_release* list = impl_->pending.get();
  return list ? static_cast<std::uint32_t>(list->blocks.size()) : 0;
}

void BufferPool::flush(pending_release& list) {
  {
    boost::mutex::scoped_lock guard(impl_->lock);
    for (PooledBuffer* block : list.blocks) impl_->lists[block->owner]->pool.free(block);
  }
  list.total = 0;
  list.blocks.clear();
}

std::uint32_t PooledBuffer::blockSize() const {
  return BufferPool::blockSizeOf(owner);
}

void intrusive_ptr_add_ref(PooledBuffer* buffer) {
  buffer->count.fetch_add(1, std::memory_order_relaxed);
}

void intrusive_ptr_release(PooledBuffer* buffer) {
  if (buffer->count.fetch_add(-1, std::memory_order_acq_rel) == 1)
    BufferPool::instance().deferredRelease(buffer);
}

}  // namespace mstd
