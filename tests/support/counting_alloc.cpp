#include "support/counting_alloc.h"

#include <cstdlib>

std::atomic<long> liveBlocks{0};
std::atomic<long> allocBudget{-1};

void* countingAlloc(size_t n) {
  const long budget = allocBudget.load();
  if (budget == 0) {
    allocBudget = -1;
    return nullptr;
  }
  if (budget > 0) --allocBudget;
  void* p = std::malloc(n);
  if (p != nullptr) ++liveBlocks;
  return p;
}

void countingFree(void* p) {
  if (p != nullptr) --liveBlocks;
  std::free(p);
}
