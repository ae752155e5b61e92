// Per-thread record of the session system: the buffer pool and the timer
// queue of the thread (with multi-threading on, of the connection whose
// record set the thread serves).
#pragma once

#include <cstdint>

#include "common/tlsfamily.h"

struct XmTree;

// Links of the timer queue; the queue's head is one of these, its entries
// (TimerEntry, src/session/stimer.h) begin with them.
struct TimerLink {
  TimerLink* next;
  TimerLink* prev;
};

struct SystemTLS {
  uint64_t ownerThreadId;
  TLSCacheSlot* cacheSlot;
  int32_t bufferCount;  // buffers allocated and not yet freed
  int32_t bufferSize;   // capacity of every buffer of the pool; 0 = no pool
  XmTree* poolTree;     // holds every buffer of the pool
  int64_t timerRefTime; // seconds; reference time of the timer queue
  TimerLink timerQueue; // sentinel of the timer queue; NULL links until init_timers
  SystemTLS* next;
  // Released buffers kept for the next balloc (linked through their next
  // field), so that a busy connection does not go to the heap for every
  // buffer. At most freeLimit of them; all are items of poolTree.
  struct SessionBuffer* freeList;
  int32_t freeCount;
  int32_t freeLimit;    // the pool's configured buffer count
};

extern TLSFamily<SystemTLS> gSystemTLS;

int32_t initSystemTLS();
SystemTLS* getSystemTLS(int32_t remove);
// Unlinks the calling thread's record and frees it with the timers still
// queued in it.
void removeSystemTLS();
void destroySystemTLSCache();
