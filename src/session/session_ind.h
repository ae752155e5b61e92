// Indications and confirms to the session user: one routine per primitive.
// Each fills an indication SIDU on its own stack and calls the callback of
// the connection's owning user with it; the SIDU lives only for the call and
// the callback takes over the user data in it, a stand-alone buffer chain
// that it may free with bfree. A connection without a user (it went with
// s_deactivate) gets nothing: buffers handed to a routine are then freed.
//
// Unless the routine takes them as arguments, the items come from the SPDU
// just received (the SessionTLS's received-SPDU area); its user data goes to
// every routine but SPABind, SPERind and SFLOind. The credit is the
// connection's (0 in S-P-ABORT and S-U-ABORT).
#pragma once

#include <cstdint>

#include "src/session/session.h"

// Event codes of indications and confirms (123 is not used).
enum : uint32_t {
  SI_ACTD_IND = 90,  // S-ACTIVITY-DISCARD indication
  SI_ACTD_CNF = 91,
  SI_ACTE_IND = 92,  // S-ACTIVITY-END
  SI_ACTE_CNF = 93,
  SI_ACTI_IND = 94,  // S-ACTIVITY-INTERRUPT
  SI_ACTI_CNF = 95,
  SI_ACTR_IND = 96,  // S-ACTIVITY-RESUME
  SI_ACTS_IND = 97,  // S-ACTIVITY-START
  SI_CD_IND = 98,    // S-CAPABILITY-DATA
  SI_CD_CNF = 99,
  SI_CG_IND = 100,   // S-CONTROL-GIVE
  SI_CON_IND = 101,  // S-CONNECT
  SI_CON_CNF = 102,  // S-CONNECT confirm, accept
  SI_CON_REF = 103,  // S-CONNECT confirm, refuse
  SI_DT_IND = 104,   // S-DATA
  SI_DT_CNF = 105,
  SI_EX_IND = 106,   // S-EXPEDITED-DATA
  SI_GT_IND = 107,   // S-TOKEN-GIVE
  SI_PAB_IND = 108,  // S-P-ABORT
  SI_PER_IND = 109,  // S-P-EXCEPTION-REPORT
  SI_PT_IND = 110,   // S-TOKEN-PLEASE
  SI_REL_IND = 111,  // S-RELEASE
  SI_REL_CNF = 112,  // S-RELEASE confirm, accept
  SI_REL_REF = 113,  // S-RELEASE confirm, refuse
  SI_RSYN_IND = 114, // S-RESYNCHRONIZE
  SI_RSYN_CNF = 115,
  SI_SYNMA_IND = 116, // S-SYNC-MAJOR
  SI_SYNMA_CNF = 117,
  SI_SYNMI_IND = 118, // S-SYNC-MINOR
  SI_SYNMI_CNF = 119,
  SI_TD_IND = 120,   // S-TYPED-DATA
  SI_UAB_IND = 121,  // S-U-ABORT
  SI_UER_IND = 122,  // S-U-EXCEPTION-REPORT
  SI_FLO_IND = 124,  // flow control
};

// S-P-ABORT reasons.
inline constexpr uint32_t kPAbortTransport = 1;
inline constexpr uint32_t kPAbortProtocol = 4;

// Each returns the callback's result, or 0 when there is no user.
int32_t SACTDind(Smachine* s, uint32_t reason);
int32_t SACTDcnf(Smachine* s);
int32_t SACTEind(Smachine* s);
int32_t SACTEcnf(Smachine* s);
int32_t SACTIind(Smachine* s, uint32_t reason);
int32_t SACTIcnf(Smachine* s);
int32_t SACTRind(Smachine* s);
int32_t SACTSind(Smachine* s);
int32_t SCDind(Smachine* s);
int32_t SCDcnf(Smachine* s);
int32_t SCGind(Smachine* s);
int32_t SCONind(Smachine* s);
int32_t SCONcnf(Smachine* s);
int32_t SCONref(Smachine* s, uint32_t reason);
int32_t SDTind(Smachine* s, SessionBuffer* buf);  // notes the data kind 'h'
int32_t SDTcnf(Smachine* s, SessionBuffer* buf);  // the sent buffer handed back
int32_t SEXind(Smachine* s, SessionBuffer* buf);
int32_t SGTind(Smachine* s, uint8_t tokens);
int32_t SPABind(Smachine* s, uint32_t reason);
int32_t SPERind(Smachine* s);
int32_t SPTind(Smachine* s, uint8_t tokens);
int32_t SRELind(Smachine* s);
int32_t SRELcnf(Smachine* s);
int32_t SRELref(Smachine* s);
int32_t SRSYNind(Smachine* s, uint64_t serial);
int32_t SRSYNcnf(Smachine* s);
int32_t SSYNMAind(Smachine* s);
int32_t SSYNMAcnf(Smachine* s);
int32_t SSYNmind(Smachine* s);
int32_t SSYNmcnf(Smachine* s);
int32_t STDind(Smachine* s, SessionBuffer* buf);  // notes the data kind 'x'
int32_t SUABind(Smachine* s);
int32_t SUERind(Smachine* s);
int32_t SFLOind(Smachine* s);
// The abort indication a received AB gives: S-U-ABORT when its
// transport-disconnect item has the user-abort bit (0x02), else S-P-ABORT
// with reason 4.
int32_t SABind(Smachine* s);
