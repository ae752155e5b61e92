// SACF routing: inside one association the single-association control
// function passes each GIDU along a chain of handlers, the route table of
// its SaoCB: even indexes form the receive chain (flow control, the
// service element, the sequence check, the AE user), odd indexes the send
// chain (the sequence check, the service element, flow control, the
// presentation layer). The route index in the SaoCB says which handler is
// next; a handler passes the GIDU on with AL_sacfRoute (gidu, 0) or takes
// it over. The element at send index s and the one at receive index
// last - 2 - s are the two halves of one function.
//
// Inside the SACF a GIDU's uc is its SaoCB; while it waits in the SACF
// event queue, uc holds the route index it continues at.
#pragma once

#include <cstdint>

#include "src/acse/gidu.h"

struct SaoCB;

// Ways of setting the route index.
inline constexpr int32_t AL_SACF_RCV_START = 0;      // index 0
inline constexpr int32_t AL_SACF_SND_START = 1;      // index 1
inline constexpr int32_t AL_SACF_REVERSE = 2;        // last - index + 2
inline constexpr int32_t AL_SACF_REVERSE_BACK = 3;   // last - index - 2
inline constexpr int32_t AL_SACF_STEP_BACK = 4;      // index - 2

// Ways of routing.
inline constexpr int32_t AL_SACF_NEXT = 0;     // call the next handler
inline constexpr int32_t AL_SACF_QUEUE_REVERSED = 1;  // queue for the opposite direction

// 1, or 0 with OSI error 53016 (index unchanged) for an unknown `how`.
int32_t AL_sacfRouteSet(SaoCB* sao, int32_t how);
// The SaoCB is the GIDU's uc. AL_SACF_NEXT calls the handler at the route
// index with the index moved on by two, and restores the index when it
// returns; AL_SACF_QUEUE_REVERSED queues the GIDU to continue just beyond
// the twin of the running handler. A GIDU that meets no handler (index
// outside the table, or a NULL entry) is traced and deleted.
void AL_sacfRoute(GIDU* gidu, int32_t how);
// Parks the GIDU at the tail of its SaoCB's SACF event queue with the
// current route index.
void AL_sacfRouteQ(GIDU* gidu);
// The first GIDU of the SACF event queue, unlinked, with the route index it
// was queued with restored; NULL (index unchanged) when the queue is empty.
GIDU* AL_sacfRouteDQ(SaoCB* sao);

// Route entries that hand a GIDU to the service element that owns its
// presentation context; other GIDUs go to the SACF's send or receive entry.
// A context that names no element of the association aborts it (quick
// aborts with 52618).
void AL_sacfAseSnd(GIDU* gidu);
void AL_sacfAseRcv(GIDU* gidu);
