// Rings of the RDA records (value lists, descriptor lists, rows): a head
// {next, previous, count} whose entries begin with the same two links; an
// empty ring's links point at its own head.
#pragma once

#include "src/asn1/rda_codec.h"

inline void rda_ringInit(RDAList* ring) {
  ring->links.next = &ring->links;
  ring->links.prev = &ring->links;
  ring->count = 0;
}

// Appends `node` at the tail.
inline void rda_ringAppend(RDAList* ring, UL_Link* node) {
  node->next = &ring->links;
  node->prev = ring->links.prev;
  ring->links.prev->next = node;
  ring->links.prev = node;
  ++ring->count;
}

inline bool rda_ringEmpty(const RDAList& ring) { return ring.links.next == nullptr || ring.links.next == &ring.links; }

// Makes `to` the head of the entries of `from`: the first entry's backward
// link and the last entry's forward link are set to `to`, so the entries
// belong to `to` from then on and `from` must no longer be walked. An empty
// `from` leaves `to` empty. `to` and `from` may be the same words copied
// elsewhere (a record copied by value).
inline void rda_ringAdopt(RDAList* to, const RDAList& from) {
  if (rda_ringEmpty(from)) {
    rda_ringInit(to);
    return;
  }
  UL_Link* first = from.links.next;
  UL_Link* last = from.links.prev;
  const uint32_t count = from.count;
  to->links.next = first;
  to->links.prev = last;
  to->count = count;
  first->prev = &to->links;
  last->next = &to->links;
}
