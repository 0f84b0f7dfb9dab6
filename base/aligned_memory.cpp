#include "base/aligned_memory.h"

#include <cstdint>
#include <cstdlib>
#ifdef _WIN32
#include <malloc.h>
#endif

void* AlignedAlloc(size_t bytes)
{
    // Whole alignment units, and never zero bytes: a zero-sized request may
    // legally return null, which callers would take for a failure.
    if (bytes > SIZE_MAX - kStoreAlignment)
        return nullptr;
    bytes = (bytes + kStoreAlignment - 1) / kStoreAlignment * kStoreAlignment;
    if (bytes == 0)
        bytes = kStoreAlignment;
#ifdef _WIN32
    return _aligned_malloc(bytes, kStoreAlignment);
#else
    void* block = nullptr;
    if (posix_memalign(&block, kStoreAlignment, bytes) != 0)
        return nullptr;
    return block;
#endif
}

void AlignedFree(void* block)
{
#ifdef _WIN32
    _aligned_free(block);
#else
    std::free(block);
#endif
}
