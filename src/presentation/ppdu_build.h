// PPDU construction: the builders fill the PPDU record of their kind (cp,
// cpa, cpr, abrt, rs, rsa, inf) from a user's request or response (a PIDU)
// and the connection's context table, then send it through psSend.
//
// A builder answers 1 when the request went down and 0 otherwise, with
// osi_errno: PE_X410_TAG_INV for X.410 parameters of the wrong kind,
// PE_PSELECTOR for a selector over 16 octets, PE_MALLOC when the user-data
// records cannot be had, and what the session request reported. The records
// are overwritten by the next build of their kind; the builders run under
// hSerializeGlobalMutex, held by the presentation entry points.
#pragma once

#include <cstdint>

#include "src/presentation/pdv.h"

struct Pmachine;
struct PIDU;

int32_t ppduCP(Pmachine* pm, PIDU* pidu);
int32_t ppduCPA(Pmachine* pm, PIDU* pidu);
// Then counts the refusal (ppduCprNm30).
int32_t ppduCPR(Pmachine* pm, PIDU* pidu);
int32_t ppduARU(Pmachine* pm, PIDU* pidu);
// reason / event -1: not written. Then counts the abort. pidu may be NULL.
int32_t ppduARP(Pmachine* pm, PIDU* pidu, int32_t reason, int32_t event);
int32_t ppduTD(Pmachine* pm, PIDU* pidu);
int32_t ppduTE(Pmachine* pm, PIDU* pidu);
int32_t ppduTC(Pmachine* pm, PIDU* pidu);
int32_t ppduTCC(Pmachine* pm, PIDU* pidu);
int32_t ppduTTD(Pmachine* pm, PIDU* pidu);
// Sends for the PIDU's event 26 (abandon), 27 (restart) or 28 (set); any
// other event answers 1 without sending.
int32_t ppduRS(Pmachine* pm, PIDU* pidu);
int32_t ppduRSA(Pmachine* pm, PIDU* pidu);

// The PIDU's data elements as User-data in `target`: simply encoded when the
// last element has no context or the connection defines exactly one
// context (one element only: more would be lost, PE_MAX_DELEM), else one
// PDV-list per run of consecutive elements of one context, in the PIDU's
// XM tree. withTs (CP-type only): each PDV-list names its transfer syntax.
// 1, or 0 with osi_errno.
int32_t put_userdata(Pmachine* pm, PIDU* pidu, User_data* target, uint32_t withTs);

// Refuses the connection with a provider reason (event 16 on the PIDU):
// an RTORJ (refuse reason 0) in X.410 mode, else a CPR with the reason and,
// for reason 5, a default-context-result of provider-rejection. When the
// refusal cannot be sent the connection is aborted without PPDU.
int32_t conn_prej(Pmachine* pm, PIDU* pidu, int32_t reason);
// Counts the refusal just sent, by the provider reason of the CPR record.
void ppduCprNm30(Pmachine* pm, PIDU* pidu);
