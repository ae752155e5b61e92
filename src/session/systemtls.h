// Per-thread record of the session system: the buffer pool and the timer
// queue of the thread (with multi-threading on, of the connection whose
// record set the thread serves).
#pragma once

#include <cstdint>

#include "common/tlsfamily.h"

struct XmTree;
struct TimerEntry;

struct SystemTLS {
  uint64_t ownerThreadId;
  TLSCacheSlot* cacheSlot;
  int32_t bufferCount;  // buffers allocated and not yet freed
  int32_t bufferSize;   // capacity of every buffer of the pool; 0 = no pool
  XmTree* poolTree;     // holds every buffer of the pool
  int64_t timerRefTime; // seconds; reference time of the timer queue
  TimerEntry* timerNext;  // sentinel of the timer queue
  TimerEntry* timerPrev;
  SystemTLS* next;
};

extern TLSFamily<SystemTLS> gSystemTLS;

int32_t initSystemTLS();
SystemTLS* getSystemTLS(int32_t remove);
void removeSystemTLS();
void destroySystemTLSCache();
