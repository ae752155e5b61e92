// Queues of GIDUs. A queue is a sentinel GIDU whose links close the ring of
// its members (an empty queue links to itself); appending splices a GIDU, or
// a ring of GIDUs that has no sentinel, in front of the sentinel. The same
// operations serve a bare ring, whose first member plays the sentinel's part
// for appending.
#pragma once

#include "src/acse/gidu.h"

inline bool al_queueEmpty(const GIDU* queue) { return queue->next == queue; }

// Splices `ring` (a lone GIDU or a ring of GIDUs) at the tail of `queue`,
// keeping the ring's order.
inline void al_queueAppend(GIDU* queue, GIDU* ring) {
  GIDU* last = ring->prev;
  ring->prev = queue->prev;
  queue->prev->next = ring;
  last->next = queue;
  queue->prev = last;
}

// Takes the GIDU out of the ring it is in; it then links to itself.
inline void al_unlinkGidu(GIDU* gidu) {
  gidu->prev->next = gidu->next;
  gidu->next->prev = gidu->prev;
  al_selfLink(gidu);
}

// The first GIDU of the queue, unlinked; NULL when the queue is empty.
inline GIDU* al_queueTake(GIDU* queue) {
  if (al_queueEmpty(queue)) return nullptr;
  GIDU* first = queue->next;
  al_unlinkGidu(first);
  return first;
}

// Members of a bare ring (a lone GIDU counts 1).
inline uint32_t al_ringCount(const GIDU* ring) {
  uint32_t n = 1;
  for (const GIDU* g = ring->next; g != ring; g = g->next) ++n;
  return n;
}

// Detaches the first member of a bare ring and returns it; *ring becomes the
// rest of the ring, or NULL when that was the last member.
inline GIDU* al_ringTake(GIDU** ring) {
  GIDU* first = *ring;
  *ring = first->next != first ? first->next : nullptr;
  al_unlinkGidu(first);
  return first;
}
