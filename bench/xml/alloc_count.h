// Counts the bytes this process holds in allocations, through the global operator
// new/delete and through CountedAlloc/CountedFree for C allocators of peers.
#pragma once

#include <cstddef>

void* CountedAlloc(size_t size);
void CountedFree(void* block);
// Starts a measurement: the peak becomes what is held now, counted from zero.
void ResetAllocationPeak();
size_t AllocationPeak();
