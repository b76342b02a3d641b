#include "support/block_pool.h"

#include <new>
#include <utility>

namespace quorvel::block_pool {
namespace {

// Sizes are rounded up to a granule; larger blocks bypass the pool.
constexpr size_t kGranule = 16;
constexpr size_t kLargestPooled = 2048;
constexpr size_t kClasses = kLargestPooled / kGranule;
// Memory a thread keeps for reuse at the most; beyond it frees go back to
// the system allocator.
constexpr size_t kCachedBytesLimit = size_t{64} << 20;

struct FreeBlock {
  FreeBlock* next;
};

size_t class_of(size_t bytes) {
  return (bytes + kGranule - 1) / kGranule - 1;
}
size_t class_bytes(size_t index) {
  return (index + 1) * kGranule;
}

class Pool {
 public:
  Pool() = default;
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;
  ~Pool();

  void* take(size_t index) {
    FreeBlock* block = heads_[index];
    if (!block) return ::operator new(class_bytes(index));
    heads_[index] = block->next;
    cached_bytes_ -= class_bytes(index);
    return block;
  }

  void give(void* memory, size_t index) noexcept {
    if (cached_bytes_ + class_bytes(index) > kCachedBytesLimit) {
      ::operator delete(memory);
      return;
    }
    heads_[index] = new (memory) FreeBlock{heads_[index]};
    cached_bytes_ += class_bytes(index);
  }

 private:
  FreeBlock* heads_[kClasses] = {};
  size_t cached_bytes_ = 0;
};

thread_local Pool pool;
// Set once the thread's pool is destroyed: collections destroyed later in
// the thread's exit free straight to the system allocator.
thread_local bool pool_gone = false;

Pool::~Pool() {
  pool_gone = true;
  for (FreeBlock*& head : heads_) {
    while (head) ::operator delete(std::exchange(head, head->next));
  }
}

}  // namespace

void* allocate(size_t bytes) {
  if (!kRecycles || bytes > kLargestPooled || pool_gone) return ::operator new(bytes);
  return pool.take(class_of(bytes));
}

void deallocate(void* block, size_t bytes) noexcept {
  if (!kRecycles || bytes > kLargestPooled || pool_gone) {
    ::operator delete(block);
    return;
  }
  pool.give(block, class_of(bytes));
}

}  // namespace quorvel::block_pool
