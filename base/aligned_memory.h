// 32-byte aligned blocks for the frame store and the tap table: the kernel
// loads them as aligned 16-byte vectors, and 32 keeps a frame pair and a
// tap entry from ever straddling a cache line.
#pragma once

#include <cstddef>

constexpr size_t kStoreAlignment = 32;

// Null when the block cannot be allocated (also for sizes beyond what the
// platform can address). The contents are not initialised.
void* AlignedAlloc(size_t bytes);
// Accepts null.
void AlignedFree(void* block);
