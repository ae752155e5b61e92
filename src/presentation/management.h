// Management of the presentation layer: counters of refused and aborted
// connections with thresholds at which a report goes to the event hook, and
// the management interface that reads them and the layer's profile.
#pragma once

#include <cstdint>

#include "src/presentation/users.h"

struct Pmachine;

inline constexpr uint32_t kPsInfoSize = 16;  // octets of each profile block

// Attribute numbers.
inline constexpr uint32_t kAttrCprRcvNoReason = 16385;
inline constexpr uint32_t kAttrCprSndNoReason = 16386;
inline constexpr uint32_t kAttrCprRcvTransGrp = 16387;  // count; 16388 its threshold
inline constexpr uint32_t kAttrCprRcvPermGrp = 16389;   // count; 16390 its threshold
inline constexpr uint32_t kAttrCprSndPermGrp = 16391;   // count; 16392 its threshold
inline constexpr uint32_t kAttrArpSndNoReason = 16393;
inline constexpr uint32_t kAttrArpSndPrErrGrp = 16394;  // count; 16395 its threshold

struct PsCounter {
  uint32_t count;
  uint32_t threshold;  // 0 = no reports
  uint32_t running;    // counted since the last report
  uint32_t attribute;  // attribute number of the threshold; 0 = none
};

extern PsCounter cprRcvNoReason;  // CPRs received without a reason or with reason 0
extern PsCounter cprSndNoReason;  // CPRs sent without reason
extern PsCounter arpSndNoReason;  // ARPs sent without reason
extern PsCounter cprRcvTransGrp;  // CPRs received with a transient reason (1, 7)
extern PsCounter cprRcvPermGrp;   // CPRs received with a permanent reason (2-6)
extern PsCounter cprSndPermGrp;   // CPRs sent with a permanent reason
extern PsCounter arpSndPrErrGrp;  // ARPs sent for protocol errors

extern uint32_t ps_func;
extern uint8_t psMfgInfo[kPsInfoSize];
extern uint8_t psOptInfo[kPsInfoSize];
extern PsEventHook psEvent;  // NULL = none

// Every count, threshold and running count 0; the threshold attributes set.
void p_nminit();
int32_t p_get_profile(uint32_t* functions, uint8_t* mfgInfo, uint8_t* optInfo);
int32_t p_get_attr(uint32_t attribute, uint32_t* value);
// Only the four thresholds can be set; a new threshold counts afresh.
int32_t p_set_attr(uint32_t attribute, uint32_t value);
// Counts one event of the counter; at its threshold a report of the local
// address goes to the event hook with the primitive's remote and responding
// addresses and reason.
void P_increment(PsCounter* counter, Pmachine* pm, const void* remote, const void* responding, int32_t reason);
