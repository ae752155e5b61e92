// The ACSE protocol machine: one table machine per association that says
// whether a service primitive or a received APDU is allowed in the
// association's state, moves the state, and tells its caller by a result
// code what to do (send, deliver, or refuse the event). The caller does all
// sending, delivering and error handling.
#pragma once

#include <cstdint>

// The protocol-machine part of an association's control block.
struct AcpmRecord {
  int32_t state;       // AcpmState
  uint32_t initiator;  // 1 when this side sent the A-ASSOCIATE request
};

enum AcpmState : int32_t {
  ACPM_IDLE = 0,             // no association
  ACPM_AWAIT_AARE = 1,       // A-ASSOCIATE request sent
  ACPM_AWAIT_ASC_RSP = 2,    // AARQ received
  ACPM_AWAIT_RLRE = 3,       // A-RELEASE request sent
  ACPM_AWAIT_RLS_RSP = 4,    // RLRQ received
  ACPM_ASSOCIATED = 5,
  ACPM_COLLISION_INIT = 6,   // release collision, initiator: awaiting A-RELEASE response
  ACPM_COLLISION_RESP = 7,   // release collision, responder: awaiting RLRE
};
inline constexpr int32_t kAcpmStates = 8;

enum AcpmEvent : int32_t {
  ACPM_EV_RESERVED = 0,  // never valid
  ACPM_EV_ASC_REQ = 1,
  ACPM_EV_ASC_RSP_ACC = 2,
  ACPM_EV_ASC_RSP_REJ = 3,
  ACPM_EV_RLS_REQ = 4,
  ACPM_EV_RLS_RSP_ACC = 5,
  ACPM_EV_RLS_RSP_REJ = 6,
  ACPM_EV_ABRT_REQ = 7,
  ACPM_EV_PDT_REQ = 8,
  ACPM_EV_RCV_REQ = 9,
  ACPM_EV_AARQ = 10,
  ACPM_EV_AARE_ACC = 11,
  ACPM_EV_AARE_REJ = 12,
  ACPM_EV_RLRQ = 13,
  ACPM_EV_RLRE_ACC = 14,
  ACPM_EV_RLRE_REJ = 15,
  ACPM_EV_ABRT = 16,        // also a presentation user abort
  ACPM_EV_PCON_REFUSED = 17,
  ACPM_EV_PP_ABORT = 18,
  ACPM_EV_PDT_IND = 19,
  ACPM_EV_BUFFER = 20,
};
inline constexpr int32_t kAcpmEvents = 21;

enum AcpmResult : int32_t {
  ACPM_NO_RECORD = 0,        // ac_errno 2
  ACPM_INVALID_USER = 1,     // ac_errno 3
  ACPM_INVALID_PEER = 2,     // state unchanged
  ACPM_SEND_AARQ = 3,
  ACPM_SEND_AARE_ACC = 4,
  ACPM_SEND_AARE_REJ = 5,
  ACPM_ASC_IND = 6,
  ACPM_REFUSE_AARQ = 7,
  ACPM_ASC_CNF_ACC = 8,
  ACPM_ASC_CNF_REJ = 9,
  ACPM_SEND_RLRQ = 11,
  ACPM_SEND_RLRE_ACC = 12,
  ACPM_SEND_RLRE_REJ = 13,
  ACPM_RLS_IND = 14,
  ACPM_RLS_CNF_ACC = 15,
  ACPM_RLS_CNF_REJ = 16,
  ACPM_SEND_ABRT = 17,
  ACPM_ABRT_IND = 18,
  ACPM_PABRT_IND = 19,
  ACPM_RCV_ACCEPTED = 20,
  ACPM_SEND_PDT = 21,
  ACPM_PDT_IND = 22,
  ACPM_BUFFER_ACCEPTED = 23,
};

struct AcpmAction;
using AcpmActionFn = int32_t (*)(AcpmRecord* pm, int32_t event, const AcpmAction* table);
struct AcpmAction {
  AcpmActionFn fn;
};

// kAcpmEvents x kAcpmStates action routines, indexed [event * 8 + state].
extern const AcpmAction acpm_table[kAcpmEvents * kAcpmStates];

// Runs the machine for one event. NULL record: ac_errno 2, result 0. An
// event or state outside the table is refused as an invalid user event
// (ac_errno 3, result 1) and changes nothing.
int32_t acseFsm(AcpmRecord* pm, int32_t event);

// Whether this side accepts an incoming AARQ: always.
int32_t AC_Pred1Peer();
// The initiator flag.
uint32_t AC_Pred2(const AcpmRecord* pm);

// Texts of the result-source diagnostics of a rejected A-ASSOCIATE: service
// user 0-14, service provider 0-2; NULL beyond.
const char* acse_printUserError(uint32_t diagnostic);
const char* acse_printProviderError(uint32_t diagnostic);
