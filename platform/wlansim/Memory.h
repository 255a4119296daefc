// Blocks handed out by the WLAN service (results and WlanAllocateMemory).
// Every live block is tracked so tests can check that callers free what they
// receive, and a pointer the service never gave out is refused instead of
// corrupting the heap.
#pragma once

#include <cstddef>

namespace wlansim {

// Zero-filled block of `size` bytes (at least one), or null.
void* AllocateBlock(std::size_t size);
// Frees a block from AllocateBlock; null is ignored. Returns false (and
// frees nothing) for a pointer that is not a live block.
bool FreeBlock(void* block);
std::size_t LiveBlocks();

}  // namespace wlansim
