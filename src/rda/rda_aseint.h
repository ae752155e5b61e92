// Helpers shared by the service element and its actions.
#pragma once

#include <cstdint>

#include "src/acse/gidu.h"
#include "src/rda/rda_stateck.h"

struct SaoCB;
struct RDAInit_Req;

// The association of a GIDU inside the SACF (its uc).
SaoCB* rda_aseSaoOf(const GIDU* gidu);
// Stores `next` as the state unless it is kRdaStateUnchanged.
void rda_aseStoreNext(stateCkCB* cb, uint32_t next);
// Goes on with the association's SACF pass: downward (sacfSnd) or upward
// (sacfRcv). Without an association or entry the GIDU is deleted (traced).
void rda_aseContinue(GIDU* gidu, bool down);
// Quick aborts of the GIDU's association both ways with `error`, then the
// GIDU is deleted with its AeHDR.
void rda_aseQuickAborts(GIDU* gidu, uint32_t error);
// The R-Initialize request record of the RDA IDU a GIDU carries, read in
// the control block's family; NULL when the IDU is no R-Initialize request.
RDAInit_Req* rda_aseInitRequest(const stateCkCB* cb, const GIDU* gidu);
