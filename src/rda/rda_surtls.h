// Per-thread record of the RDA service user: the thread's ring of user
// control blocks (one stack instance).
#pragma once

#include <cstdint>

#include "common/tlsfamily.h"
#include "src/runtime/ul_names.h"

struct RdaSurTLS {
  uint64_t ownerThreadId;
  TLSCacheSlot* cacheSlot;
  UL_Ring* ucbQueue;  // of UCB, with their count; NULL until rda_surInit
  RdaSurTLS* next;
};

// The family: list newest first, cache, hSerializeRdaSurMutex.
extern TLSFamily<RdaSurTLS> gRdaSurTLS;

// The calling thread's record: 1, or 0 when memory runs out.
int32_t initRdaSurTLS();
// The calling thread's record; with `remove` set, unlinked from the list and
// the cache. A miss is traced and gives NULL.
RdaSurTLS* getRdaSurTLS(int32_t remove);
void removeRdaSurTLS();
void destroyRdaSurTLSCache();
