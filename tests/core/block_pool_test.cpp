#include "support/block_pool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

namespace quorvel {
namespace {

struct Block {
  void* memory;
  size_t bytes;
};

std::vector<Block> fill_blocks(size_t first, size_t last, unsigned char pattern) {
  std::vector<Block> blocks;
  for (size_t bytes = first; bytes <= last; bytes += 7) {
    void* memory = block_pool::allocate(bytes);
    std::memset(memory, pattern, bytes);  // the whole requested size is usable
    blocks.push_back({memory, bytes});
  }
  return blocks;
}

void free_blocks(const std::vector<Block>& blocks) {
  for (const Block& b : blocks) block_pool::deallocate(b.memory, b.bytes);
}

TEST(BlockPool, RecyclesBlocksOfTheSameSizeClass) {
  if (!block_pool::kRecycles) GTEST_SKIP() << "blocks are not recycled under AddressSanitizer";
  void* first = block_pool::allocate(40);
  block_pool::deallocate(first, 40);
  void* again = block_pool::allocate(33);  // 33 and 40 round to one class
  EXPECT_EQ(again, first);
  block_pool::deallocate(again, 33);
}

// Every size, pooled or not, keeps its contents apart from its neighbours,
// and blocks may be freed by another thread than the one that took them.
TEST(BlockPool, BlocksOfEverySizeCrossThreads) {
  const std::vector<Block> blocks = fill_blocks(1, 5000, 0xAB);
  for (const Block& b : blocks) {
    const auto* bytes = static_cast<const unsigned char*>(b.memory);
    ASSERT_EQ(bytes[0], 0xAB);
    ASSERT_EQ(bytes[b.bytes - 1], 0xAB);
  }
  std::thread([&blocks] {
    free_blocks(blocks);
    free_blocks(fill_blocks(1, 3000, 0xCD));
  }).join();
  free_blocks(fill_blocks(1, 3000, 0xEF));
}

}  // namespace
}  // namespace quorvel
