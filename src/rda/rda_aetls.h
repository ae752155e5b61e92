// Per-thread record of the RDA application entity: the thread's list of AE
// invocations and its own copy of the ASE table, whose rows keep the index
// the presentation layer gave their abstract syntax when the entity was
// activated.
#pragma once

#include <cstdint>

#include "common/export.h"
#include "common/tlsfamily.h"
#include "src/rda/rda_asx.h"

struct UL_Ring;

struct RdaAeTLS {
  uint64_t ownerThreadId;
  TLSCacheSlot* cacheSlot;
  UL_Ring* RDA_aeiCBs;                // ring of AeiCB in an XM tree of its own; NULL until rda_aeInit
  AsxEntry asxTbl[kRdaAsxRows];       // copied from RDA_asxTBL when the record is made
  UL_Ring* savedAeiCBs;               // the own list while QvSwitchRDA_aeiCB lends another
  RdaAeTLS* next;
};

// The family: list newest first, cache, hSerializeRdaAeMutex.
extern TLSFamily<RdaAeTLS> gRdaAeTLS;

// The calling thread's record with its copy of the ASE table: 1, or 0 when
// memory runs out.
int32_t initRdaAeTLS();
// The record of `threadId` (of the calling thread for getRdaAeTLS); with
// `remove` set, unlinked from the list and the cache. A miss is traced and
// gives NULL.
RdaAeTLS* getSpecificRdaAeTLS(uint64_t threadId, int32_t remove);
RdaAeTLS* getRdaAeTLS(int32_t remove);
void removeRdaAeTLS();
void destroyRdaAeTLSCache();

// With `flag` set, the calling thread saves its own invocation list and
// works on that of the record of `threadId`; with `flag` 0 it takes its own
// list back. The list in use afterwards (NULL without a record).
QV_EXPORT UL_Ring* QvSwitchRDA_aeiCB(uint64_t threadId, int32_t flag);
