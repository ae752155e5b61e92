#include "support/counting_alloc.h"

#include <cstdlib>

std::atomic<long> liveBlocks{0};

void* countingAlloc(size_t n) {
  void* p = std::malloc(n);
  if (p != nullptr) ++liveBlocks;
  return p;
}

void countingFree(void* p) {
  if (p != nullptr) --liveBlocks;
  std::free(p);
}
