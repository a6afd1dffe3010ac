#pragma once

#include <cstddef>

// Counts the bytes live on the heap (malloc and everything built on it) and their high-water
// mark, by interposing the allocator in this executable.
namespace HeapCounter {
std::size_t live();
std::size_t peak();
// Starts a new high-water mark from what is live now.
void resetPeak();
}
