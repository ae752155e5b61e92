// The top-level CHOICE of the RDA messages, one table per family.
#include "src/asn1/rda_idu.h"

#include "src/asn1/decode_tree.h"

namespace {

// A member: constructed [n] around the member's elements.
constexpr CtField member(uint32_t tag, const CtType& type, size_t offset) {
  return ctField(static_cast<uint16_t>(tag), type, offset).constructed();
}

constexpr CtField kRdaIsoAlts[] = {
    ctField(ctCtx(2), ctNull),
    member(RDA_TERM_RI, kRdaTerm_RI, offsetof(RDAIdu, term_RI)),
    member(RDA_TERM_RC, kRdaTerm_RC, offsetof(RDAIdu, term_RC)),
    member(RDA_BGNTRANS_RI, kRdaBgnTrans_RI, offsetof(RDAIdu, bgnTrans_RI)),
    member(RDA_BGNTRANS_RC, kRdaBgnTrans_RC, offsetof(RDAIdu, bgnTrans_RC)),
    member(RDA_COMMIT_RI, kRdaCommit_RI, offsetof(RDAIdu, commit_RI)),
    member(RDA_COMMIT_RC, kRdaCommit_RC, offsetof(RDAIdu, commit_RC)),
    member(RDA_ROLLBACK_RI, kRdaRollback_RI, offsetof(RDAIdu, rollback_RI)),
    member(RDA_ROLLBACK_RC, kRdaRollback_RC, offsetof(RDAIdu, rollback_RC)),
    ctField(ctPriv(55), ctNull),
    member(RDA_ACTIVATE_REQ, kRdaActivate_Req, offsetof(RDAIdu, activate)),
};

constexpr CtField kRdaXopenAlts[] = {
    ctField(ctCtx(2), ctNull),
    member(RDA_TERM_RI, kRdaTerm_RI, offsetof(RDAXOPENIdu, term_RI)),
    member(RDA_TERM_RC, kRdaTerm_RC, offsetof(RDAXOPENIdu, term_RC)),
    member(RDA_BGNTRANS_RI, kRdaBgnTrans_RI, offsetof(RDAXOPENIdu, bgnTrans_RI)),
    member(RDA_BGNTRANS_RC, kRdaBgnTrans_RC, offsetof(RDAXOPENIdu, bgnTrans_RC)),
    member(RDA_COMMIT_RI, kRdaCommit_RI, offsetof(RDAXOPENIdu, commit_RI)),
    member(RDA_COMMIT_RC, kRdaXopenCommit_RC, offsetof(RDAXOPENIdu, commit_RC)),
    member(RDA_ROLLBACK_RI, kRdaRollback_RI, offsetof(RDAXOPENIdu, rollback_RI)),
    member(RDA_ROLLBACK_RC, kRdaRollback_RC, offsetof(RDAXOPENIdu, rollback_RC)),
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
