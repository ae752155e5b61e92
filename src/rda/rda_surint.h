// Helpers shared by the service user's source files.
#pragma once

#include <cstdint>

#include "src/acse/sur.h"
#include "src/rda/rda_sur.h"
#include "src/rda/rda_surtls.h"

// The ACB's RDA element, made the ACB's current element; NULL when it has
// none.
RdaAcbElem* rda_surCurrentAcbElem(ACB* acb);
// The user's RDA element: through the RDA element of the ACB in uc, else
// through the UCB in ue; NULL when there is none.
RdaUcbElem* rda_surUserElem(GIDU* gidu);
// The UCB is still one of the calling thread's users (a block deleted
// meanwhile is no longer listed).
bool rda_surUcbAlive(const UCB* ucb);
// Sets osi_errno, sends the ACB's quick aborts both ways with `errNo` and
// deletes the GIDU.
void rda_surQuickAborts(GIDU* gidu, uint32_t errNo);
// Hands the GIDU on through the registered configuration: towards the user
// (the operation queue) or towards the entity; deleted without one.
void rda_surToUser(GIDU* gidu);
void rda_surToAe(GIDU* gidu);
// Runs what waits on the association's input queue when no pass runs on
// it: answers turned back there from a pass on another association (a
// controlled dialogue's) would otherwise wait for the association's next
// event.
void rda_surRunQueue(ACB* acb);
// Takes the GIDUs of association `acb` (every GIDU when NULL) out of an
// operation queue and deletes them; each queued operation is marked
// purged.
void rda_surPurgeOpQue(GIDU* queue, const ACB* acb);
