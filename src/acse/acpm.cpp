#include "src/acse/acpm.h"

#include <cstddef>

#include "src/acse/acsetls.h"

namespace {

int32_t moveTo(AcpmRecord* pm, int32_t state, int32_t result) {
  pm->state = state;
  return result;
}

// Default cells.
int32_t AC_User(AcpmRecord*, int32_t, const AcpmAction*) {
  QvSetAcError(AC_ERR_INVALID_USER_EVENT);
  return ACPM_INVALID_USER;
}
int32_t AC_Peer(AcpmRecord*, int32_t, const AcpmAction*) { return ACPM_INVALID_PEER; }
int32_t AC_Pspr(AcpmRecord*, int32_t, const AcpmAction*) { return ACPM_INVALID_PEER; }

// User events.
int32_t AC_ASCreq(AcpmRecord* pm, int32_t, const AcpmAction*) {
  pm->initiator = 1;
  return moveTo(pm, ACPM_AWAIT_AARE, ACPM_SEND_AARQ);
}
int32_t AC_ASCacc(AcpmRecord* pm, int32_t, const AcpmAction*) { return moveTo(pm, ACPM_ASSOCIATED, ACPM_SEND_AARE_ACC); }
int32_t AC_ASCrej(AcpmRecord* pm, int32_t, const AcpmAction*) { return moveTo(pm, ACPM_IDLE, ACPM_SEND_AARE_REJ); }
int32_t AC_RLSreq(AcpmRecord* pm, int32_t, const AcpmAction*) { return moveTo(pm, ACPM_AWAIT_RLRE, ACPM_SEND_RLRQ); }
int32_t AC_RLSacc0(AcpmRecord* pm, int32_t, const AcpmAction*) { return moveTo(pm, ACPM_IDLE, ACPM_SEND_RLRE_ACC); }
int32_t AC_RLSacc3(AcpmRecord* pm, int32_t, const AcpmAction*) { return moveTo(pm, ACPM_AWAIT_RLRE, ACPM_SEND_RLRE_ACC); }
int32_t AC_RLSrej(AcpmRecord* pm, int32_t, const AcpmAction*) { return moveTo(pm, ACPM_ASSOCIATED, ACPM_SEND_RLRE_REJ); }
int32_t AC_ABRTreq(AcpmRecord* pm, int32_t, const AcpmAction*) { return moveTo(pm, ACPM_IDLE, ACPM_SEND_ABRT); }
int32_t AC_PDTreq(AcpmRecord*, int32_t, const AcpmAction*) { return ACPM_SEND_PDT; }
int32_t AC_RCVreq(AcpmRecord*, int32_t, const AcpmAction*) { return ACPM_RCV_ACCEPTED; }

// Peer APDUs.
int32_t AC_AARQ(AcpmRecord* pm, int32_t, const AcpmAction*) {
  if (AC_Pred1Peer() != 1) return ACPM_REFUSE_AARQ;
  pm->initiator = 0;
  return moveTo(pm, ACPM_AWAIT_ASC_RSP, ACPM_ASC_IND);
}
int32_t AC_AAREpos(AcpmRecord* pm, int32_t, const AcpmAction*) { return moveTo(pm, ACPM_ASSOCIATED, ACPM_ASC_CNF_ACC); }
int32_t AC_AAREneg(AcpmRecord* pm, int32_t, const AcpmAction*) { return moveTo(pm, ACPM_IDLE, ACPM_ASC_CNF_REJ); }
int32_t AC_RLSind3(AcpmRecord* pm, int32_t, const AcpmAction*) {
  return moveTo(pm, AC_Pred2(pm) == 1 ? ACPM_COLLISION_INIT : ACPM_COLLISION_RESP, ACPM_RLS_IND);
}
int32_t AC_RLSind5(AcpmRecord* pm, int32_t, const AcpmAction*) { return moveTo(pm, ACPM_AWAIT_RLS_RSP, ACPM_RLS_IND); }
int32_t AC_RLREpos0(AcpmRecord* pm, int32_t, const AcpmAction*) { return moveTo(pm, ACPM_IDLE, ACPM_RLS_CNF_ACC); }
int32_t AC_RLREpos4(AcpmRecord* pm, int32_t, const AcpmAction*) {
  return moveTo(pm, ACPM_AWAIT_RLS_RSP, ACPM_RLS_CNF_ACC);
}
int32_t AC_RLREneg(AcpmRecord* pm, int32_t, const AcpmAction*) { return moveTo(pm, ACPM_ASSOCIATED, ACPM_RLS_CNF_REJ); }
int32_t AC_Abrt(AcpmRecord* pm, int32_t, const AcpmAction*) { return moveTo(pm, ACPM_IDLE, ACPM_ABRT_IND); }

// Presentation provider and local events.
int32_t AC_PCONref(AcpmRecord* pm, int32_t, const AcpmAction*) { return moveTo(pm, ACPM_IDLE, ACPM_ASC_CNF_REJ); }
int32_t AC_PABind(AcpmRecord* pm, int32_t, const AcpmAction*) { return moveTo(pm, ACPM_IDLE, ACPM_PABRT_IND); }
int32_t AC_PDTind(AcpmRecord*, int32_t, const AcpmAction*) { return ACPM_PDT_IND; }
int32_t AC_BUFFER(AcpmRecord*, int32_t, const AcpmAction*) { return ACPM_BUFFER_ACCEPTED; }

constexpr AcpmAction U{AC_User}, P{AC_Peer}, S{AC_Pspr};

}  // namespace

// Rows are events 0-20, columns states 0-7.
const AcpmAction acpm_table[kAcpmEvents * kAcpmStates] = {
    /*  0 reserved      */ U, U, U, U, U, U, U, U,
    /*  1 A-ASC req     */ {AC_ASCreq}, U, U, U, U, U, U, U,
    /*  2 A-ASC rsp+    */ U, U, {AC_ASCacc}, U, U, U, U, U,
    /*  3 A-ASC rsp-    */ U, U, {AC_ASCrej}, U, U, U, U, U,
    /*  4 A-RLS req     */ U, U, U, U, U, {AC_RLSreq}, U, U,
    /*  5 A-RLS rsp+    */ U, U, U, U, {AC_RLSacc0}, U, {AC_RLSacc3}, U,
    /*  6 A-RLS rsp-    */ U, U, U, U, {AC_RLSrej}, U, U, U,
    /*  7 A-ABORT req   */ U, {AC_ABRTreq}, {AC_ABRTreq}, {AC_ABRTreq}, {AC_ABRTreq}, {AC_ABRTreq}, {AC_ABRTreq},
                           {AC_ABRTreq},
    /*  8 P-DATA req    */ U, U, U, U, U, {AC_PDTreq}, U, U,
    /*  9 receive req   */ {AC_RCVreq}, {AC_RCVreq}, {AC_RCVreq}, {AC_RCVreq}, {AC_RCVreq}, {AC_RCVreq}, {AC_RCVreq},
                           {AC_RCVreq},
    /* 10 AARQ          */ {AC_AARQ}, P, P, P, P, P, P, P,
    /* 11 AARE+         */ P, {AC_AAREpos}, P, P, P, P, P, P,
    /* 12 AARE-         */ P, {AC_AAREneg}, P, P, P, P, P, P,
    /* 13 RLRQ          */ P, P, P, {AC_RLSind3}, P, {AC_RLSind5}, P, P,
    /* 14 RLRE+         */ P, P, P, {AC_RLREpos0}, P, P, P, {AC_RLREpos4},
    /* 15 RLRE-         */ P, P, P, {AC_RLREneg}, P, P, P, P,
    /* 16 ABRT          */ P, {AC_Abrt}, {AC_Abrt}, {AC_Abrt}, {AC_Abrt}, {AC_Abrt}, {AC_Abrt}, {AC_Abrt},
    /* 17 P-CON refused */ S, {AC_PCONref}, S, S, S, S, S, S,
    /* 18 P-P-ABORT     */ S, {AC_PABind}, {AC_PABind}, {AC_PABind}, {AC_PABind}, {AC_PABind}, {AC_PABind},
                           {AC_PABind},
    /* 19 P-DATA ind    */ {AC_PDTind}, {AC_PDTind}, {AC_PDTind}, {AC_PDTind}, {AC_PDTind}, {AC_PDTind}, {AC_PDTind},
                           {AC_PDTind},
    /* 20 buffer        */ {AC_BUFFER}, {AC_BUFFER}, {AC_BUFFER}, {AC_BUFFER}, {AC_BUFFER}, {AC_BUFFER}, {AC_BUFFER},
                           {AC_BUFFER},
};

int32_t acseFsm(AcpmRecord* pm, int32_t event) {
  if (pm == nullptr) {
    QvSetAcError(AC_ERR_NO_MACHINE);
    return ACPM_NO_RECORD;
  }
  if (event < 0 || event >= kAcpmEvents || pm->state < 0 || pm->state >= kAcpmStates) {
    QvSetAcError(AC_ERR_INVALID_USER_EVENT);
    return ACPM_INVALID_USER;
  }
  return acpm_table[event * kAcpmStates + pm->state].fn(pm, event, acpm_table);
}

int32_t AC_Pred1Peer() { return 1; }

uint32_t AC_Pred2(const AcpmRecord* pm) { return pm->initiator; }

namespace {

const char* const AcseUserErrorTable[] = {
    "Association request was accepted",
    "Reason for rejection is not defined by the ACSE protocol definition",
    "Application context name that the client supplied is not compatible with the server",
    "Application process title of the client is not acceptable to the server",
    "Application process invocation ID of the client is not acceptable to the server",
    "Application entity qualifier of the client is not acceptable to the server",
    "Application entity invocation ID of the client is not acceptable to the server",
    "Application process title that the client specified is invalid",
    "Application process invocation ID that the client specified is invalid",
    "Application entity qualifier that the client specified is invalid",
    "Application entity invocation ID that the client specified is invalid",
    "Authentication name NRec",
    "Authentication name Reqd",
    "Authentication failure",
    "Authentication required",
};

const char* const AcseProviderErrorTable[] = {
    "The association request was accepted",
    "The reason for rejection is not defined by the ACSE protocol definition",
    "The server's version of ACSE is incompatible with the client's",
};

template <size_t N>
const char* textOf(const char* const (&table)[N], uint32_t i) {
  return i < N ? table[i] : nullptr;
}

}  // namespace

const char* acse_printUserError(uint32_t diagnostic) { return textOf(AcseUserErrorTable, diagnostic); }
const char* acse_printProviderError(uint32_t diagnostic) { return textOf(AcseProviderErrorTable, diagnostic); }
