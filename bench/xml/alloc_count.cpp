#include "bench/xml/alloc_count.h"

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <new>

namespace {
size_t liveBytes = 0;
size_t peakBytes = 0;
}  // namespace

void* CountedAlloc(size_t size) {
    void* block = std::malloc(size);
    if (block != nullptr) {
        liveBytes += malloc_usable_size(block);
        peakBytes = std::max(peakBytes, liveBytes);
    }
    return block;
}

void CountedFree(void* block) {
    if (block != nullptr) {
        liveBytes -= malloc_usable_size(block);
        std::free(block);
    }
}

void ResetAllocationPeak() { liveBytes = peakBytes = 0; }
size_t AllocationPeak() { return peakBytes; }

void* operator new(size_t size) {
    if (void* block = CountedAlloc(size)) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { CountedFree(block); }
void operator delete[](void* block) noexcept { CountedFree(block); }
void operator delete(void* block, size_t) noexcept { CountedFree(block); }
void operator delete[](void* block, size_t) noexcept { CountedFree(block); }
