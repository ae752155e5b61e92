// RDA event codes: the event word of a GIDU of IDU type 200, in the layout
// of src/acse/gidu.h, and the tag of the RDAIdu alternative each code
// carries.
//
// Service numbers come in three families of thirteen: requests k (base code
// 0x8000 + 16k), responses 13 + k (0x80D2 + 16k) and error responses 26 + k
// (0x81A2 + 16k). The delivered form (indication, confirm) adds
// AL_EV_DELIVERED (4), the APDU form AL_EV_APDU (8).
#pragma once

#include <cstdint>

#include "src/acse/gidu.h"

using RdaEventCode = uint32_t;

#define RDA_SERVICE_LIST(X) \
  X(INIT, 0)                \
  X(TERM, 1)                \
  X(BGNTRANS, 2)            \
  X(COMMIT, 3)              \
  X(ROLLBACK, 4)            \
  X(CANCEL, 5)              \
  X(STATUS, 6)              \
  X(OPEN, 7)                \
  X(CLOSE, 8)               \
  X(EXECDBL, 9)             \
  X(DEFINEDBL, 10)          \
  X(INVOKEDBL, 11)          \
  X(DROPDBL, 12)

inline constexpr uint32_t kRdaServiceCount = 13;
inline constexpr uint32_t kRdaResponseFamily = 13;  // first service number of the responses
inline constexpr uint32_t kRdaErrorFamily = 26;     // first service number of the error responses

constexpr RdaEventCode rdaRequestEvent(uint32_t k) { return 0x8000 + 16 * k; }
constexpr RdaEventCode rdaResponseEvent(uint32_t k) { return 0x80D2 + 16 * k; }
constexpr RdaEventCode rdaErrorEvent(uint32_t k) { return 0x81A2 + 16 * k; }

// RDA_<S>_REQ / _IND, _RSP / _CNF, _ERSP / _ECNF for every service S
// (R-BeginTransaction has no positive response: RDA_BGNTRANS_RSP and _CNF
// are never sent).
#define RDA_EVENT_CONSTANTS(S, k)                                                 \
  inline constexpr RdaEventCode RDA_##S##_REQ = rdaRequestEvent(k);               \
  inline constexpr RdaEventCode RDA_##S##_IND = rdaRequestEvent(k) + AL_EV_DELIVERED; \
  inline constexpr RdaEventCode RDA_##S##_RSP = rdaResponseEvent(k);              \
  inline constexpr RdaEventCode RDA_##S##_CNF = rdaResponseEvent(k) + AL_EV_DELIVERED; \
  inline constexpr RdaEventCode RDA_##S##_ERSP = rdaErrorEvent(k);                \
  inline constexpr RdaEventCode RDA_##S##_ECNF = rdaErrorEvent(k) + AL_EV_DELIVERED;
RDA_SERVICE_LIST(RDA_EVENT_CONSTANTS)
#undef RDA_EVENT_CONSTANTS

inline constexpr RdaEventCode RDA_SUR_NXTEVENT_REQ = 0x8370;  // service 55, carries no IDU
inline constexpr RdaEventCode RDA_EMPTY_EVENT = 0x8018;       // carries the empty alternative [2]

// Tag code of the RDAIdu alternative of an event: 0x4000 + n for [n]. Flags
// above bit 15 are ignored.
constexpr uint32_t rda_getRdaEventTag(RdaEventCode event) {
  const uint32_t code = (event & AL_EV_CODE_MASK) | AL_EV_PRIMITIVE;
  const uint32_t n = al_serviceOf(event);
  if (code == RDA_EMPTY_EVENT) return 0x4002;
  if (code == RDA_INIT_REQ) return 0x4000;
  if (code == RDA_INIT_RSP || code == RDA_INIT_CNF || code == RDA_INIT_ERSP || code == RDA_INIT_ECNF)
    return 0x4001;
  if (n >= kRdaErrorFamily) return 0x4002 + 2 * (n - kRdaErrorFamily);
  if (n >= kRdaResponseFamily) return 0x4002 + 2 * (n - kRdaResponseFamily);
  return 0x4001 + 2 * n;
}
