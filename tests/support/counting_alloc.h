// Allocator hooks for XM that count the blocks alive, so a test can show that
// a release really returned everything.
#pragma once

#include <atomic>
#include <cstddef>

extern std::atomic<long> liveBlocks;
// Allocations that succeed before the next one fails (once; then the limit
// is lifted); -1 = none fails.
extern std::atomic<long> allocBudget;
// Allocations that succeed before every later one fails, until the switch
// is set back to -1 (memory that has run out); -1 = off.
extern std::atomic<long> allocFailAfter;

void* countingAlloc(size_t n);
void countingFree(void* p);
