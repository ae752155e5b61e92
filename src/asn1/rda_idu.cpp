// The top-level CHOICE of the RDA messages, one table per family.
#include "src/asn1/rda_idu.h"

#include "src/asn1/decode_tree.h"

namespace {

// A member: constructed [n] around the member's elements.
constexpr CtField member(uint32_t tag, const CtType& type, size_t offset) {
  return ctField(static_cast<uint16_t>(tag), type, offset).constructed();
}

constexpr CtField kRdaIsoAlts[] = {
    member(RDA_INIT_RI, kRdaInit_RI, offsetof(RDAIdu, init_RI)),
    member(RDA_INIT_RC, kRdaInit_RC, offsetof(RDAIdu, init_RC)),
    ctField(ctCtx(2), ctNull),
    member(RDA_TERM_RI, kRdaTerm_RI, offsetof(RDAIdu, term_RI)),
    member(RDA_TERM_RC, kRdaTerm_RC, offsetof(RDAIdu, term_RC)),
    member(RDA_BGNTRANS_RI, kRdaBgnTrans_RI, offsetof(RDAIdu, bgnTrans_RI)),
    member(RDA_BGNTRANS_RC, kRdaBgnTrans_RC, offsetof(RDAIdu, bgnTrans_RC)),
    member(RDA_COMMIT_RI, kRdaCommit_RI, offsetof(RDAIdu, commit_RI)),
    member(RDA_COMMIT_RC, kRdaCommit_RC, offsetof(RDAIdu, commit_RC)),
    member(RDA_ROLLBACK_RI, kRdaRollback_RI, offsetof(RDAIdu, rollback_RI)),
    member(RDA_ROLLBACK_RC, kRdaRollback_RC, offsetof(RDAIdu, rollback_RC)),
    member(RDA_CANCEL_RI, kRdaCancel_RI, offsetof(RDAIdu, cancel_RI)),
    member(RDA_CANCEL_RC, kRdaCancel_RC, offsetof(RDAIdu, cancel_RC)),
    member(RDA_STATUS_RI, kRdaStatus_RI, offsetof(RDAIdu, status_RI)),
    member(RDA_STATUS_RC, kRdaStatus_RC, offsetof(RDAIdu, status_RC)),
    member(RDA_OPEN_RI, kRdaOpen_RI, offsetof(RDAIdu, open_RI)),
    member(RDA_OPEN_RC, kRdaOpen_RC, offsetof(RDAIdu, open_RC)),
    member(RDA_CLOSE_RI, kRdaClose_RI, offsetof(RDAIdu, close_RI)),
    member(RDA_CLOSE_RC, kRdaClose_RC, offsetof(RDAIdu, close_RC)),
    member(RDA_EXECDBL_RI, kRdaExecDBL_RI, offsetof(RDAIdu, execDBL_RI)),
    member(RDA_EXECDBL_RC, kRdaExecDBL_RC, offsetof(RDAIdu, execDBL_RC)),
    member(RDA_DEFINEDBL_RI, kRdaDefineDBL_RI, offsetof(RDAIdu, defineDBL_RI)),
    member(RDA_DEFINEDBL_RC, kRdaDefineDBL_RC, offsetof(RDAIdu, defineDBL_RC)),
    member(RDA_INVOKEDBL_RI, kRdaInvokeDBL_RI, offsetof(RDAIdu, invokeDBL_RI)),
    member(RDA_INVOKEDBL_RC, kRdaInvokeDBL_RC, offsetof(RDAIdu, invokeDBL_RC)),
    member(RDA_DROPDBL_RI, kRdaDropDBL_RI, offsetof(RDAIdu, dropDBL_RI)),
    member(RDA_DROPDBL_RC, kRdaDropDBL_RC, offsetof(RDAIdu, dropDBL_RC)),
    ctField(ctPriv(55), ctNull),
    member(RDA_ACTIVATE_REQ, kRdaActivate_Req, offsetof(RDAIdu, activate)),
};

constexpr CtField kRdaXopenAlts[] = {
    member(RDA_INIT_RI, kRdaInit_RI, offsetof(RDAXOPENIdu, init_RI)),
    member(RDA_INIT_RC, kRdaInit_RC, offsetof(RDAXOPENIdu, init_RC)),
    ctField(ctCtx(2), ctNull),
    member(RDA_TERM_RI, kRdaTerm_RI, offsetof(RDAXOPENIdu, term_RI)),
    member(RDA_TERM_RC, kRdaTerm_RC, offsetof(RDAXOPENIdu, term_RC)),
    member(RDA_BGNTRANS_RI, kRdaBgnTrans_RI, offsetof(RDAXOPENIdu, bgnTrans_RI)),
    member(RDA_BGNTRANS_RC, kRdaBgnTrans_RC, offsetof(RDAXOPENIdu, bgnTrans_RC)),
    member(RDA_COMMIT_RI, kRdaCommit_RI, offsetof(RDAXOPENIdu, commit_RI)),
    member(RDA_COMMIT_RC, kRdaXopenCommit_RC, offsetof(RDAXOPENIdu, commit_RC)),
    member(RDA_ROLLBACK_RI, kRdaRollback_RI, offsetof(RDAXOPENIdu, rollback_RI)),
    member(RDA_ROLLBACK_RC, kRdaRollback_RC, offsetof(RDAXOPENIdu, rollback_RC)),
    member(RDA_CANCEL_RI, kRdaCancel_RI, offsetof(RDAXOPENIdu, cancel_RI)),
    member(RDA_CANCEL_RC, kRdaCancel_RC, offsetof(RDAXOPENIdu, cancel_RC)),
    member(RDA_STATUS_RI, kRdaStatus_RI, offsetof(RDAXOPENIdu, status_RI)),
    member(RDA_STATUS_RC, kRdaStatus_RC, offsetof(RDAXOPENIdu, status_RC)),
    member(RDA_OPEN_RI, kRdaOpen_RI, offsetof(RDAXOPENIdu, open_RI)),
    member(RDA_OPEN_RC, kRdaOpen_RC, offsetof(RDAXOPENIdu, open_RC)),
    member(RDA_CLOSE_RI, kRdaClose_RI, offsetof(RDAXOPENIdu, close_RI)),
    member(RDA_CLOSE_RC, kRdaClose_RC, offsetof(RDAXOPENIdu, close_RC)),
    member(RDA_EXECDBL_RI, kRdaXopenExecDBL_RI, offsetof(RDAXOPENIdu, execDBL_RI)),
    member(RDA_EXECDBL_RC, kRdaXopenExecDBL_RC, offsetof(RDAXOPENIdu, execDBL_RC)),
    member(RDA_DEFINEDBL_RI, kRdaXopenDefineDBL_RI, offsetof(RDAXOPENIdu, defineDBL_RI)),
    member(RDA_DEFINEDBL_RC, kRdaXopenDefineDBL_RC, offsetof(RDAXOPENIdu, defineDBL_RC)),
    member(RDA_INVOKEDBL_RI, kRdaXopenInvokeDBL_RI, offsetof(RDAXOPENIdu, invokeDBL_RI)),
    member(RDA_INVOKEDBL_RC, kRdaXopenInvokeDBL_RC, offsetof(RDAXOPENIdu, invokeDBL_RC)),
    member(RDA_DROPDBL_RI, kRdaDropDBL_RI, offsetof(RDAXOPENIdu, dropDBL_RI)),
    member(RDA_DROPDBL_RC, kRdaDropDBL_RC, offsetof(RDAXOPENIdu, dropDBL_RC)),
    ctField(ctPriv(55), ctNull),
    member(RDA_ACTIVATE_REQ, kRdaActivate_Req, offsetof(RDAXOPENIdu, activate)),
};

constexpr CtChoice kRdaIsoChoice{kRdaIsoAlts, offsetof(RDAIdu, tag)};
constexpr CtChoice kRdaXopenChoice{kRdaXopenAlts, offsetof(RDAXOPENIdu, tag)};

// A new record in the decode tree, then the alternative; NULL when the next
// identifier is none of the table's.
template <class Idu>
void* parseIdu(const CtType& type, const char* src) {
  auto* idu = static_cast<Idu*>(aamalloc(sizeof(Idu)));
  if (idu == nullptr) aaRaise(AAE_NOMEM, src, __LINE__);
  return ct_parseType(type, idu, src) != 0 ? idu : nullptr;
}

}  // namespace

extern const CtType kRdaIdu;
extern const CtType kRdaXopenIdu;
constexpr CtType kRdaIdu = ctChoiceType(kRdaIsoChoice, sizeof(RDAIdu));
constexpr CtType kRdaXopenIdu = ctChoiceType(kRdaXopenChoice, sizeof(RDAXOPENIdu));

void* aRDAIdu(void*) { return parseIdu<RDAIdu>(kRdaIdu, kRdaIsoSrc); }
int64_t fRDAIdu(void* idu) { return idu != nullptr ? ct_formatType(kRdaIdu, idu, kRdaIsoSrc) : 0; }
void* aRDAXOPENIdu(void*) { return parseIdu<RDAXOPENIdu>(kRdaXopenIdu, kRdaXopenSrc); }
int64_t fRDAXOPENIdu(void* idu) { return idu != nullptr ? ct_formatType(kRdaXopenIdu, idu, kRdaXopenSrc) : 0; }
