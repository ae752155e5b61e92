// Allocator hooks for XM that count the blocks alive, so a test can show that
// a release really returned everything.
#pragma once

#include <atomic>
#include <cstddef>

extern std::atomic<long> liveBlocks;

void* countingAlloc(size_t n);
void countingFree(void* p);
