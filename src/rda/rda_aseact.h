// The actions that the cells of the RDA state tables name, and the two
// helpers they share with the service element.
//
// An action gets the association's state-check control block, the GIDU and
// the cell's next state. It carries the GIDU on through the SACF entries of
// the association's SaoCB (the GIDU's uc): sacfSnd downward, sacfRcv
// upward. It stores the next state (unless it is kRdaStateUnchanged) only
// after that continuation has returned, so that whatever the continuation
// runs meanwhile (the rest of the pass, delivery to the user, a request the
// user sends from inside its callback) is checked against the old state.
//
// Results: 0 when the GIDU went on, -1 when the action disposed of it.
#pragma once

#include <cstdint>

#include "src/acse/gidu.h"
#include "src/rda/rda_stateck.h"

// Refused cell: the state stays. A GIDU in its delivered form (an
// indication or confirm) is deleted; anything else (a user's request or
// response, a received APDU) becomes a local error 52583 for the user.
int32_t RDA_aseBlank(stateCkCB* cb, GIDU* gidu, uint32_t next);
// Drops the GIDU (traced) and stores the next state.
int32_t RDA_aseA0(stateCkCB* cb, GIDU* gidu, uint32_t next);
// On to the peer: the APDU form of the event, header event P-DATA request.
int32_t RDA_aseCvrtToApdu(stateCkCB* cb, GIDU* gidu, uint32_t next);
// On to the user: the indication or confirm form of the event.
int32_t RDA_aseCvrtToSvc(stateCkCB* cb, GIDU* gidu, uint32_t next);

// Turns the GIDU into a local error event (LOCERR.ind with `error`) and
// hands it up the association's receive pass; quick aborts both ways when
// that cannot be done.
void RDA_aseSndLocalError(GIDU* gidu, uint32_t error);
// Rewrites the GIDU's top AeHDR for a P-DATA request under the context of
// its IDU type; returns that context id (0 when the association has none).
uint32_t RDA_aseResetAeHDR(GIDU* gidu);

// The action tables of the two roles, kRdaActionCount entries each; the
// argument is not used.
const RdaStateAction* RDA_getClientActionTbl(void* unused);
const RdaStateAction* RDA_getServerActionTbl(void* unused);

// Client actions.
int32_t action2(stateCkCB* cb, GIDU* gidu, uint32_t next);        // R-Initialize request
int32_t action11(stateCkCB* cb, GIDU* gidu, uint32_t next);       // R-BeginTransaction request
int32_t action14and6(stateCkCB* cb, GIDU* gidu, uint32_t next);   // R-BeginTransaction error response
int32_t action42or50T(stateCkCB* cb, GIDU* gidu, uint32_t next);  // error value 8213 received

// Server actions.
int32_t action1(stateCkCB* cb, GIDU* gidu, uint32_t next);        // request out of sequence
int32_t action3(stateCkCB* cb, GIDU* gidu, uint32_t next);        // R-Initialize request
int32_t action12(stateCkCB* cb, GIDU* gidu, uint32_t next);       // R-BeginTransaction request
int32_t action41or49T(stateCkCB* cb, GIDU* gidu, uint32_t next);  // error value 8213 sent
