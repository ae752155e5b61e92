// Per-thread record of the RDA service element: the thread's head of
// association control blocks.
#pragma once

#include <cstdint>

#include "common/tlsfamily.h"

struct RDA_AseCBHead;

struct RdaAseTLS {
  uint64_t ownerThreadId;
  TLSCacheSlot* cacheSlot;
  RDA_AseCBHead* head;  // NULL while the element is not initialised on the thread
  RdaAseTLS* next;
};

extern TLSFamily<RdaAseTLS> gRdaAseTLS;

int32_t initRdaAseTLS();
// With `remove` 1 the record is also unlinked from the list and the cache.
RdaAseTLS* getRdaAseTLS(int32_t remove);
void removeRdaAseTLS();
void destroyRdaAseTLSCache();
