// A presentation indication or confirm into the service elements' GIDUs.
#include <cstring>

#include "common/timer2.h"
#include "src/acse/abort.h"
#include "src/acse/acse_apdu.h"
#include "src/acse/acse_ase.h"
#include "src/acse/al_errno.h"
#include "src/acse/al_psap.h"
#include "src/acse/al_trace.h"
#include "src/acse/cvrt_apdu.h"
#include "src/acse/gidu_queue.h"
#include "src/acse/sao.h"
#include "src/asn1/decode_tree.h"
#include "src/presentation/pevents.h"
#include "src/presentation/pidu.h"
#include "src/presentation/pnames.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/alcvrtp";

constexpr uint32_t kOriginPresentation = 8;  // header origin of what the conversion makes
constexpr uint32_t kWarning = AL_TL_PARAM;
constexpr int32_t kContextAccepted = 0;  // a context's result in a P-CONNECT confirm
constexpr uint32_t kNoReasonGiven = 1;   // the diagnostic of a rejection the provider makes

SaoCB* saoOf(const GIDU* g) { return static_cast<SaoCB*>(g->uc); }
XmTree* treeOf(const void* item) { return xm_getParentOfItem(const_cast<void*>(item)); }

const char* nameOf(uint32_t pev) { return pev < kPNamesCount ? p_names[pev] : "???"; }

const DElem* firstData(const PIDU* pidu) {
  const DElemLink* l = pidu->dataList.next;
  return l != nullptr && l != &pidu->dataList ? static_cast<const DElem*>(l) : nullptr;
}

// True when `tree` is `of` or one of its ancestors.
bool holds(const XmTree* tree, XmTree* of) {
  for (XmTree* t = of; t != nullptr; t = xm_getParentOfTree(t))
    if (t == tree) return true;
  return false;
}

// The IDU type of the element that owns context `ctx` in the association;
// 0 when none does.
uint32_t typeOfContext(const SaoCB* sao, int32_t ctx) {
  if (sao == nullptr || sao->pctxTbl == nullptr || ctx <= 0 || ctx >= kPctxEntries) return 0;
  const PctxEntry& e = sao->pctxTbl[ctx];
  return e.ase != nullptr ? e.aseId : 0;
}

// The first context of the association's table (the ACSE and the service
// elements of its application context, all of which it needs) that the
// P-CONNECT confirm does not give as accepted; 0 when it accepts them all.
int32_t refusedContext(const GIDU* pres, const PIDU* pidu) {
  const SaoCB* sao = saoOf(pres);
  if (sao == nullptr || sao->pctxTbl == nullptr) return 0;
  for (int32_t id = 1; id < kPctxEntries && id < kPiduCtxCount; id += 2)
    if (sao->pctxTbl[id].ase != nullptr && pidu->ctxResultList[id] != kContextAccepted) return id;
  return 0;
}

// The ACSE APDU of `code` that the first data element must be: in the
// ACSE context of the association, with that code. NULL otherwise, so that
// no other value is ever read as an ACSE record.
AcseApdu* firstAcse(const GIDU* pres, const PIDU* pidu, uint32_t code) {
  const DElem* d = firstData(pidu);
  if (d == nullptr || d->value == nullptr || typeOfContext(saoOf(pres), d->pctxId) != AL_IDU_ACSE) return nullptr;
  auto* apdu = static_cast<AcseApdu*>(d->value);
  return apdu->code == code ? apdu : nullptr;
}

// The GIDU of one data element: a header of its context over its value,
// whose tree the new GIDU takes. NULL when memory runs out.
GIDU* elementGidu(const GIDU* pres, const DElem* d, uint32_t iduType, uint32_t event) {
  GIDU* g = AL_createGiduWithAeHDR(pres, iduType, event);
  if (g == nullptr) return nullptr;
  auto* hdr = static_cast<AeHDR*>(g->idu);
  hdr->pctxId = static_cast<uint32_t>(d->pctxId);
  hdr->wrapped = d->value;
  hdr->hdrOrigin = kOriginPresentation;
  hdr->hdrWord1 = static_cast<const PIDU*>(pres->idu)->event;
  // A value decoded into a tree of its own goes with that tree; one lying in
  // the presentation GIDU's own trees goes as an item.
  if (d->value != nullptr) {
    XmTree* own = treeOf(d->value);
    if (own == nullptr || holds(own, treeOf(pres->idu))) _xm_moveItem(d->value, xm_getParentOfItem(g));
    else _xm_moveTree(xm_getParentOfItem(g), own);
  }
  return g;
}

// The presentation GIDU ends the association: quick aborts, the GIDU
// deleted. Always NULL.
GIDU* abortWith(GIDU* pres, uint32_t osiError, const char* why) {
  TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "%s", why);
  quickAborts(pres, osiError, 1);
  return nullptr;
}

GIDU* noMemory(GIDU* pres) { return abortWith(pres, AL_ERR_NO_MEMORY, "*** No memory\n"); }

void emptyAddress(UL_Paddress* a) {
  *a = UL_Paddress{};
  a->nAddrs.links.next = a->nAddrs.links.prev = &a->nAddrs.links;
}

// The PIDU's selector as the presentation selector of `a`, its octets in
// `tree`; absent stays absent. False when memory runs out.
bool takeSelector(UL_Paddress* a, const PSelector& sel, XmTree* tree) {
  if (sel.length < 0) return true;
  a->mask |= UL_PADDR_PSEL;
  a->pSel.length = static_cast<uint32_t>(sel.length);
  a->pSel.octets = nullptr;
  if (sel.length == 0) return true;
  a->pSel.octets = static_cast<uint8_t*>(_xm_allocItem(tree, a->pSel.length, XM_ZERO));
  if (a->pSel.octets == nullptr) return false;
  if (sel.octets != nullptr) std::memcpy(a->pSel.octets, sel.octets, a->pSel.length);
  return true;
}

// The parameters of the P-CONNECT indication into the A-ASSOCIATE request's
// private part, in the APDU's tree. Its addresses keep the layout of a
// request: [1] this side's selector (the called one), [2] the peer's
// address. False when memory runs out.
bool fillAarq(AcAarq* aarq, const PIDU* pidu, XmTree* tree) {
  AcConnParams& cp = aarq->connParams;
  cp = AcConnParams{};
  emptyAddress(&cp.callingAddress);
  emptyAddress(&cp.calledAddress);
  aarq->presence |= AC_AARQ_CONN_PARAMS;
  if (!takeSelector(&cp.callingAddress, pidu->local.pSel, tree)) return false;
  if (al_copyPSAP(&cp.calledAddress, &pidu->remote, tree) == nullptr) return false;
  if (pidu->presRequirements != 0) {
    cp.presRequirements = pidu->presRequirements;
    cp.presence |= AC_CP_PRES_REQUIREMENTS;
  }
  cp.networkService = static_cast<int32_t>(pidu->transportKind);
  cp.transportClass = static_cast<int32_t>(pidu->transportClass);
  if ((pidu->local.flags & kPiduLocalTClassGiven) != 0) cp.presence |= AC_CP_TCLASS;
  cp.presentationMode = pidu->flag2 != 0 ? 1 : 0;
  cp.sessRequirements = pidu->sessRequirements;
  cp.initialTokens = static_cast<int32_t>(pidu->tokenItem);
  cp.initialSyncPoint = static_cast<int32_t>(pidu->serial);
  cp.presence |= AC_CP_TOKENS | AC_CP_SYNC_POINT;
  return true;
}

// The parameters of the P-CONNECT confirm into the A-ASSOCIATE response's
// private part. False when memory runs out.
bool fillAare(AcAare* aare, const PIDU* pidu, XmTree* tree) {
  AcConnResult& cr = aare->connResult;
  cr = AcConnResult{};
  emptyAddress(&cr.respondingAddress);
  aare->presence |= AC_AARE_CONN_RESULT;
  if (pidu->responding.pSel.length >= 0) {
    if (!takeSelector(&cr.respondingAddress, pidu->responding.pSel, tree)) return false;
    cr.presence |= AC_CR_RESPONDING_ADDRESS;
  }
  if (pidu->presRequirements != 0) {
    cr.presRequirements = pidu->presRequirements;
    cr.presence |= AC_CR_PRES_REQUIREMENTS;
  }
  cr.sessRequirements = pidu->sessRequirements;
  cr.initialTokens = static_cast<int32_t>(pidu->tokenItem);
  cr.initialSyncPoint = static_cast<int32_t>(pidu->serial);
  cr.presence |= AC_CR_TOKENS | AC_CR_SYNC_POINT;
  return true;
}

// The GIDU of the first data element, which must be the ACSE APDU of
// `code`: event `event`, its private part filled by the primitive.
GIDU* cvrtAcse(GIDU* pres, uint32_t code, uint32_t event) {
  auto* pidu = static_cast<PIDU*>(pres->idu);
  AcseApdu* apdu = firstAcse(pres, pidu, code);
  if (apdu == nullptr) {
    if (tm_siteOn(al_comTMHandle, AL_TL_ERROR))
      tm_traceSite(al_comTMHandle, AL_TL_ERROR, kSrc, __LINE__,
                   "*** AL_cvrtPpdu(): %s without its ACSE APDU, association aborted\n", nameOf(pidu->event));
    quickAborts(pres, AL_ERR_BAD_PPDU_DATA, 1);
    return nullptr;
  }
  GIDU* g = elementGidu(pres, firstData(pidu), AL_IDU_ACSE, event);
  if (g == nullptr) return noMemory(pres);
  bool filled = true;
  switch (code) {
    case AC_APDU_AARQ: filled = fillAarq(&apdu->aarq, pidu, treeOf(apdu)); break;
    case AC_APDU_AARE: filled = fillAare(&apdu->aare, pidu, treeOf(apdu)); break;
    case AC_APDU_RLRE:
      apdu->rlre.presence |= AC_RLRE_RELEASE_RESULT;
      apdu->rlre.releaseResult = pidu->event == P_REL_CNF ? 0 : 1;
      break;
    default: break;
  }
  if (!filled) {
    AL_deleteGiduWithAeHDR(g);
    return noMemory(pres);
  }
  al_deleteGidu(pres);
  return g;
}

// A P-CONNECT indication without the A-ASSOCIATE request it must carry is
// answered with a negative P-CONNECT response (an AARE of the service
// provider, no reason given, when the association has an ACSE context) and
// the association is left to be deleted. Always NULL.
GIDU* refuseConnect(GIDU* pres) {
  TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc,
           "*** AL_cvrtPpdu(): P-CONNECT indication without an A-ASSOCIATE request, refused\n");
  SaoCB* sao = saoOf(pres);
  if (sao == nullptr || sao->aeDown == nullptr) {
    al_deleteGidu(pres);
    return nullptr;
  }
  sao->saoFlags |= SAO_DELETE_PENDING;
  auto* pidu = static_cast<PIDU*>(pres->idu);
  XmTree* tree = treeOf(pidu);
  pidu->dataList.next = pidu->dataList.prev = &pidu->dataList;
  for (int32_t id = 1; id < kPiduCtxCount; id += 2) {
    if (pidu->ctxDefList[id] == -1) pidu->ctxResultList[id] = -1;
    else if (pidu->ctxResultList[id] != 1) pidu->ctxResultList[id] = 0;
  }
  if (pidu->dfltCtx != -1) pidu->dfltResult = 0;
  pidu->responding.pSel = pidu->local.pSel;
  if (pidu->responding.pSel.length >= 0) pidu->responding.flags |= UL_PADDR_PSEL;
  if (const uint32_t ctx = AL_cnvrtIduType(sao, AL_IDU_ACSE); ctx != 0) {
    auto* apdu = static_cast<AcseApdu*>(_xm_allocItem(tree, sizeof(AcseApdu), XM_ZERO));
    auto* d = apdu != nullptr ? static_cast<DElem*>(_xm_allocItem(tree, sizeof(DElem), XM_ZERO)) : nullptr;
    if (d != nullptr && ul_objidvcpy(&apdu->aare.contextName, &sao->appContext, tree) != 0) {
      apdu->code = AC_APDU_AARE;
      apdu->aare.presence = AC_AARE_VERSION;
      apdu->aare.protocolVersion = kAcProtocolVersion1;
      apdu->aare.result = AC_RESULT_REJECTED_PERMANENT;
      apdu->aare.resultSource = AC_SOURCE_PROVIDER;
      apdu->aare.diagnostic = 1;
      p_clear_delem(d);
      d->pctxId = static_cast<int32_t>(ctx);
      d->value = apdu;
      d->next = d->prev = &pidu->dataList;
      pidu->dataList.next = pidu->dataList.prev = d;
    }
    // Without memory for the AARE the refusal goes without user data.
  }
  pidu->event = P_CON_REJ;
  pres->event = AL_EV_PRIMITIVE;
  pres->iduType = AL_IDU_PRES;
  (void)sao->aeDown(pres);
  return nullptr;
}

// One GIDU per data element, in their order, typed by the element that
// owns each context.
GIDU* cvrtPpduToApdus(GIDU* pres) {
  auto* pidu = static_cast<PIDU*>(pres->idu);
  const uint32_t pev = pidu->event;
  const bool tokens = pev == P_GT_IND || pev == P_PT_IND || pev == P_RSYN_IND || pev == P_RSYN_CNF || pev == P_SYN_IND;
  GIDU* ring = nullptr;
  for (const DElemLink* l = pidu->dataList.next; l != nullptr && l != &pidu->dataList; l = l->next) {
    const auto* d = static_cast<const DElem*>(l);
    if (d->value == nullptr) {
      purgeList(ring);
      return abortWith(pres, AL_ERR_BAD_PPDU_DATA, "*** AL_cvrtPpdu(): data element without a value\n");
    }
    GIDU* g = elementGidu(pres, d, typeOfContext(saoOf(pres), d->pctxId), pres->event);
    if (g == nullptr) {
      purgeList(ring);
      return noMemory(pres);
    }
    if (tokens) {
      auto* hdr = static_cast<AeHDR*>(g->idu);
      hdr->hdrWord6 = pidu->tokenItem;
      hdr->hdrWord7 = static_cast<uint32_t>(pidu->serial);
      TM_TRACE(al_comTMHandle, AL_TL_ROUTE, kSrc, "the serial numberNo %d\n", static_cast<int32_t>(hdr->hdrWord7));
    }
    if (ring == nullptr) ring = g;
    else al_queueAppend(ring, g);
  }
  al_deleteGidu(pres);
  return ring;
}

// The presentation GIDU itself, wrapped for the elements as IDU type 21.
GIDU* cvrtPpduToPresApdu(GIDU* pres) {
  AeHDR* hdr = AL_createAeHDR(pres);
  if (hdr == nullptr) return noMemory(pres);
  hdr->hdrOrigin = kOriginPresentation;
  pres->iduType = AL_IDU_PRES_RCV;
  return pres;
}

}  // namespace

GIDU* AL_cvrtPpdu(GIDU* gidu) {
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "AL_cvrtPpdu", gidu, 1);
  if (gidu == nullptr) return nullptr;
  if (gidu->iduType != AL_IDU_PRES || gidu->idu == nullptr) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_cvrtPpdu(): not a presentation primitive, deleted\n");
    AL_deleteGiduWithAeHDR(gidu);
    return nullptr;
  }
  auto* pidu = static_cast<PIDU*>(gidu->idu);
  const DElem* first = firstData(pidu);
  if (pidu->userError != 0) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** Formatting or Parsing error=0x%x, PPDU deleted\n",
             pidu->userError);
    if (first != nullptr)
      TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** Format or Parse error code [0x%x]\n", first->flags);
    quickAborts(gidu, AL_ERR_BAD_PPDU_DATA, 1);
    return nullptr;
  }
  const bool data = first != nullptr;
  switch (pidu->event) {
    case P_CON_IND:
      if (firstAcse(gidu, pidu, AC_APDU_AARQ) == nullptr) return refuseConnect(gidu);
      return cvrtAcse(gidu, AC_APDU_AARQ, AC_EV_AARQ);
    case P_CON_CNF: {
      // The peer accepted the connection but refused a context the
      // association cannot do without: the user gets a rejecting
      // A-ASSOCIATE confirm, and the connection is aborted.
      const int32_t refused = refusedContext(gidu, pidu);
      GIDU* g = cvrtAcse(gidu, AC_APDU_AARE, AC_EV_AARE);
      if (g == nullptr || refused == 0) return g;
      TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc,
               "*** AL_cvrtPpdu(): presentation context %d of the association refused, association rejected\n",
               static_cast<int>(refused));
      AcAare& aare = static_cast<AcseApdu*>(static_cast<AeHDR*>(g->idu)->wrapped)->aare;
      aare.result = AC_RESULT_REJECTED_PERMANENT;
      aare.resultSource = AC_SOURCE_PROVIDER;
      aare.diagnostic = kNoReasonGiven;
      if (SaoCB* sao = saoOf(g)) AL_aeSendQuickAborts(sao, g, nullptr, sao->sacfSnd, AL_ERR_BAD_PPDU_DATA);
      return g;
    }
    case P_CON_REF:
      return data ? cvrtAcse(gidu, AC_APDU_AARE, AC_EV_AARE)
                  : cvrtPpduToPresApdu(gidu);
    case P_DT_IND:
    case P_TD_IND:
      if (data) return cvrtPpduToApdus(gidu);
      TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc,
               "*** AL_cvrtPpdu(): P-DATA or P-T-DATA w/no user data, PPDU ddleted\n");
      al_deleteGidu(gidu);
      return nullptr;
    case P_GT_IND:
    case P_PT_IND:
      return data ? cvrtPpduToApdus(gidu) : cvrtPpduToPresApdu(gidu);
    case P_RSYN_IND:
    case P_RSYN_CNF:
    case P_SYNM_IND:
    case P_SYNM_CNF:
    case P_SYN_IND:
    case P_SYN_CNF:
      if (data) return cvrtPpduToApdus(gidu);
      TM_TRACE(al_comTMHandle, kWarning, kSrc, "*** AL_cvrtPpdu(): no user data with %s\n", nameOf(pidu->event));
      return cvrtPpduToPresApdu(gidu);
    case P_FC_IND:
      return cvrtPpduToPresApdu(gidu);
    case P_PAB_IND:
    case P_UAB_IND:
      return data ? cvrtAcse(gidu, AC_APDU_ABRT, AC_EV_ABRT) : cvrtPpduToPresApdu(gidu);
    case P_SAB_IND:
    case P_RAB_IND:
      TM_TRACE(al_comTMHandle, kWarning, kSrc, "FUNNY ABORT [0x%x]\n", pidu->event);
      pidu->event = P_PAB_IND;
      return cvrtPpduToPresApdu(gidu);
    case P_REL_IND:
      return cvrtAcse(gidu, AC_APDU_RLRQ, AC_EV_RLRQ);
    case P_REL_CNF:
    case P_REL_REF:
      return cvrtAcse(gidu, AC_APDU_RLRE, AC_EV_RLRE);
    default:
      TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** Unsupported PPDU deleted [%s]\n", nameOf(pidu->event));
      al_deleteGidu(gidu);
      return nullptr;
  }
}
