// The RDA application entity: its AE invocations (one per Activate), the
// SaoCB of each association, the translation of GIDU references between the
// service user's view and the association's, and the two exits of the SACF
// passes (down into the presentation layer, up to the service user).
//
// References of a GIDU towards the association: ue the AeiCB, pe its
// presentation reference, uc the SaoCB, pc the presentation connection.
// Towards the service user: ue the UCB, pe the AeiCB (0 once it is gone),
// uc the ACB, pc the SaoCB.
#pragma once

#include <cstdint>

#include "src/acse/gidu.h"
#include "src/acse/sao.h"

// An AE invocation of the RDA entity: the application layer's block and the
// role word of the Activate request that made it (0 client, else server).
struct RdaAeiCB : AeiCB {
  uint32_t role;
};

inline constexpr uint32_t kRdaAeiCbId = 258;
inline constexpr uint32_t kRdaRoleClient = 0;

// The presentation layer's entries: P-CONNECT request (the new presentation
// connection, or NULL) and every other primitive (1 when accepted). Both
// take the GIDU over. They point at the presentation layer's own entries;
// a test may point them elsewhere.
using RdaPconnFn = void* (*)(GIDU* gidu);
using RdaPspFn = uint32_t (*)(GIDU* gidu);
extern RdaPconnFn RDA_pconn;
extern RdaPspFn RDA_psp;

// 1, or 0 with osi_errno.
int32_t rda_aeInit();
int32_t rda_aeStart();
int32_t rda_aeTerm();

// From the service user; the receive entry comes with the Activate request.
void rda_aeSnd(GIDU* gidu, AlGiduFn userEntry);
// The presentation layer's indication callback of every invocation. Always 1.
int32_t rda_aeRcv(GIDU* gidu);
// Downward exit of the SACF send pass: 1 when the presentation layer took
// the primitive, else 0.
int32_t RDA_aeSndPpdu(GIDU* gidu);
// RDA_aeSndPpdu as a step of the route table.
void rda_aeSndPpduStep(GIDU* gidu);
// Upward exit of the SACF receive pass.
void RDA_aeRcvIndCnf(GIDU* gidu);

// A new association of the invocation in the GIDU's ue, linked into its
// list; NULL with osi_errno.
SaoCB* RDA_aeCreateSaoCB(GIDU* gidu, void* acb);
// Releases the elements' blocks, unlinks and frees the SaoCB; does nothing
// while references are held.
void RDA_aeDeleteSaoCB(SaoCB* sao, AeiCB* aei);
// Number of associations of the invocation, read under the entity's mutex.
uint32_t RDA_aeSaoCount(const AeiCB* aei);

// Turns an A-ASSOCIATE request that cannot be served into a negative
// A-ASSOCIATE confirm and hands it to `deliverUp`. With `ref` (the ACB) the
// GIDU is turned round for the service user; without, it stays in the
// association's view.
void RDA_aeSendAssociateReject(GIDU* gidu, AlGiduFn deliverUp, AlGiduFn sendDown, void* ref, uint32_t kind);
// Answers a received P-CONNECT indication with a negative P-CONNECT
// response whose AARE carries `reason` as the ACSE service user's
// diagnostic.
void RDA_aeSendPconnReject(GIDU* gidu, uint32_t reason);
