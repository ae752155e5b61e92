// ACSE layer management: per-thread counters of rejected associations and
// aborts with settable thresholds, a management callback called each time a
// counter reaches a multiple of its threshold, and two opaque profile pairs
// kept for a manager. All of it lives in the calling thread's AcseTLS;
// failures are reported through ac_errno.
//
// The counters move in fACSE and aACSE, which wrap the APDU codec; an ASE
// table that names fApdu and aApdu directly counts nothing.
#pragma once

#include <cstdint>

#include "src/acse/acsetls.h"

// Attributes: counters and the thresholds that follow them.
enum AcLmeAttr : uint32_t {
  AC_LME_REJ_RCV_PROVIDER = 16385,  // AAREs received rejecting, source service provider
  AC_LME_REJ_RCV_PROVIDER_THR,
  AC_LME_REJ_SND_PROVIDER,          // AAREs sent rejecting, source service provider
  AC_LME_REJ_SND_PROVIDER_THR,
  AC_LME_REJ_RCV,                   // AAREs received rejecting, any source; no threshold
  AC_LME_REJ_SND,                   // AAREs sent rejecting, any source; no threshold
  AC_LME_ABRT_RCV_PROVIDER,         // ABRTs received, source service provider
  AC_LME_ABRT_RCV_PROVIDER_THR,
  AC_LME_ABRT_SND_PROVIDER,         // ABRTs sent, source service provider
  AC_LME_ABRT_SND_PROVIDER_THR,
  AC_LME_P_ABORTS,                  // presentation provider aborts
  AC_LME_P_ABORTS_THR,
  AC_LME_P_REJECTS,                 // associations rejected by the presentation provider
  AC_LME_P_REJECTS_THR,
};

// Stores the callback (NULL: none) and copies both pairs (NULL: zeros).
void ac_lme_init(AcLmeCallback callback, const uint64_t profileA[2], const uint64_t profileB[2]);
// Copies both pairs out; 1, or 0 with ac_errno 12 when either output is NULL.
int32_t ac_lme_get_profile(uint64_t profileA[2], uint64_t profileB[2]);
// 1 with *value set; 0 with ac_errno 12 (NULL output, attribute 0) or 15
// (no such attribute).
int32_t ac_lme_get_attr(uint32_t attribute, uint32_t* value);
// Sets a threshold; 1, or 0 with ac_errno 12 (attribute 0) or 15 (not a
// threshold: counters cannot be set).
int32_t ac_lme_set_attr(uint32_t attribute, uint32_t value);

// Counting.
void acAcpmRejRcv();
void acAcpmRejSnd();
void acAggAsRejRcv();
void acAggAsRejSnd();
void acAcpmAbrRcv();
void acAcpmAbrSnd();
void acaPAborts();
void acaAsPRej();

// The APDU codec with counting: rejecting AAREs and provider ABRTs written
// (fACSE) and read (aACSE).
int64_t fACSE(void* apdu);
void* aACSE(void* unused = nullptr);
