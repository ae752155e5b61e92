// Per-thread record of the application layer (with multi-threading on, of
// the connection whose record set the thread serves).
#pragma once

#include <cstdint>

#include "common/tlsfamily.h"

struct AeiCB;

inline constexpr int32_t kAlAeiCandidates = 10;  // AE invocations AL_assignAEI weighs

struct AlTLS {
  uint64_t ownerThreadId;
  TLSCacheSlot* cacheSlot;
  AeiCB* aeiCandidates[kAlAeiCandidates];  // working list of AL_assignAEI
  AlTLS* next;
};

// The family: list newest first, cache, hSerializeAlMutex.
extern TLSFamily<AlTLS> gAlTLS;

// The calling thread's record: 1, or 0 when memory runs out.
int32_t initAlTLS();
// The calling thread's record; with `remove` set, unlinked from the list and
// the cache. A miss is traced and gives NULL.
AlTLS* getAlTLS(int32_t remove);
void removeAlTLS();
void destroyAlTLSCache();
