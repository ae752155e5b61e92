// The single-association object (SAO) and the single-association control
// function (SACF) of the RDA application contexts.
//
// The SAO serialises the GIDUs of one association in both directions (a
// GIDU that arrives while a pass runs waits in the SAO event queue) and
// deletes the SaoCB once it is delete pending and no pass holds it. The
// SACF runs each GIDU along its half of the association's route table and
// checks the order of association and dialogue events against a state
// table of 15 events by 7 states.
#pragma once

#include <array>
#include <cstdint>

#include "src/acse/gidu.h"

struct SaoCB;

// SACF states.
enum : uint32_t {
  SACF_IDLE = 0,
  SACF_ASSOC_PENDING = 1,
  SACF_ASSOCIATED = 2,
  SACF_INIT_PENDING = 3,
  SACF_RELEASE_PENDING = 4,
  SACF_DIALOGUE = 5,
  SACF_TERM_PENDING = 6,
};
inline constexpr uint32_t kSacfStates = 7;
inline constexpr uint32_t kSacfEvents = 15;
inline constexpr uint32_t kSacfNoEvent = 255;
inline constexpr uint32_t kSacfRdaEventRows = 312;  // event codes 0x8000-0x8267
inline constexpr uint32_t kSacfAcseEventRows = 48;  // event codes 0x8000-0x805F

// Cells: action in bits 8-15 (0 refuse and abort, 1 go on), next state in
// the low byte; 0xFF refuses.
extern const std::array<uint32_t, kSacfEvents * kSacfStates> sacfStateTbl;
extern const std::array<uint8_t, kSacfRdaEventRows> rdaEventTbl;
extern const std::array<uint8_t, kSacfAcseEventRows> acseEventTbl;

// The SACF event of an event code of IDU type 200 or 240 (bits above 15
// ignored, an event and the same event plus 1 alike); kSacfNoEvent when
// none.
uint32_t rda_sacfEventOf(uint32_t iduType, uint32_t event);

// The SaoCB's send and receive entries; they take the GIDU over.
void rda_saoSnd(GIDU* gidu);
void rda_saoRcv(GIDU* gidu);
// Start (or queue) a SACF pass; `uc` is the SaoCB.
void rda_sacfSnd(GIDU* gidu);
void rda_sacfRcv(GIDU* gidu);
// The sequence check, route slots 1 and 4.
void RDA_sacfSeqCk(GIDU* gidu);
// A received presentation GIDU as the ring of the elements' GIDUs, each RDA
// one with its event code; NULL when nothing is left to route.
GIDU* RDA_sacfCvrtPpdu(GIDU* gidu);
// Gives each RDA GIDU of a converted ring its event code and refuses a ring
// holding anything the SACF cannot route: then the association is quick
// aborted (52618), every GIDU of the ring is deleted and the result is NULL.
GIDU* rda_sacfTypeRing(GIDU* ring, SaoCB* sao);
// The event code (APDU form) of a received RDA GIDU, from the tag of its
// IDU and, for a response, its outcome; 0 when it carries no IDU the
// association may receive.
uint32_t getRdaEventType(GIDU* gidu);

// 1, or 0 with osi_errno.
int32_t rda_saoInit();
int32_t rda_saoTerm();
int32_t rda_saoStart();
int32_t rda_sacfInit();
int32_t rda_sacfTerm();
int32_t rda_sacfStart();
