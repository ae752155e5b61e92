#include "support/counting_alloc.h"

#include <cstdlib>

std::atomic<long> liveBlocks{0};
std::atomic<long> allocBudget{-1};
std::atomic<long> allocFailAfter{-1};

void* countingAlloc(size_t n) {
  const long budget = allocBudget.load();
  if (budget == 0) {
    allocBudget = -1;
    return nullptr;
  }
  if (budget > 0) --allocBudget;
  long left = allocFailAfter.load();
  while (left >= 0) {
    if (left == 0) return nullptr;
    if (allocFailAfter.compare_exchange_weak(left, left - 1)) break;
  }
  void* p = std::malloc(n);
  if (p != nullptr) ++liveBlocks;
  return p;
}

void countingFree(void* p) {
  if (p != nullptr) --liveBlocks;
  std::free(p);
}
