// Recycled memory for the small blocks that persistent collections and heap
// cells are made of. Collections free their nodes in bursts (a collection
// sweeps thousands of versions at once) and allocate the same few sizes
// again right after; keeping freed blocks on a per-thread list by size class
// makes both sides a pointer swap and hands back memory that is still warm.
//
// Blocks must be returned with the size they were allocated with. A block
// may be freed on another thread than the one that allocated it.
#pragma once

#include <cstddef>

namespace quorvel::block_pool {

// Under AddressSanitizer nothing is recycled, so that it sees every use of a
// freed block.
#ifdef __SANITIZE_ADDRESS__
inline constexpr bool kRecycles = false;
#else
inline constexpr bool kRecycles = true;
#endif

void* allocate(size_t bytes);
void deallocate(void* block, size_t bytes) noexcept;

}  // namespace quorvel::block_pool
