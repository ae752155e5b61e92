// Per-thread record of the SACF of RDA: whether the SACF is initialised on
// the thread.
#pragma once

#include <cstdint>

#include "common/tlsfamily.h"

struct RdaSacfTLS {
  uint64_t ownerThreadId;
  TLSCacheSlot* cacheSlot;
  uint32_t initialised;  // 1 between rda_sacfInit and rda_sacfTerm
  RdaSacfTLS* next;
};

// The family: list newest first, cache, hSerializeRdaSacfMutex.
extern TLSFamily<RdaSacfTLS> gRdaSacfTLS;

int32_t initRdaSacfTLS();
RdaSacfTLS* getRdaSacfTLS(int32_t remove);
void removeRdaSacfTLS();
void destroyRdaSacfTLSCache();
