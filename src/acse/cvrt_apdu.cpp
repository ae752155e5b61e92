// Service elements' GIDUs into one presentation GIDU.
#include "src/acse/cvrt_apdu.h"

#include <cassert>
#include <cstring>

#include "common/timer2.h"
#include "src/acse/abort.h"
#include "src/acse/acse_apdu.h"
#include "src/acse/al_errno.h"
#include "src/acse/al_psap.h"
#include "src/acse/al_trace.h"
#include "src/acse/gidu_queue.h"
#include "src/acse/sao.h"
#include "src/presentation/pevents.h"
#include "src/presentation/pidu.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/alcvrta";

// Trace level of the notes on the primitive being built.
constexpr uint32_t kInfo = AL_TL_ROUTE;
// Level of the lines about a record without its presentation part.
constexpr uint32_t kLowest = 1;

// The session functional units a connection asks for: duplex.
constexpr uint32_t kDuplex = 2;

// Transport below the session layer by the network-service selection.
constexpr uint32_t kTransportTp024 = 1;
constexpr uint32_t kTransportTp0Tcp = 2;
constexpr uint32_t kTransportTp4 = 0;

SaoCB* saoOf(const GIDU* g) { return static_cast<SaoCB*>(g->uc); }
XmTree* treeOf(const void* item) { return xm_getParentOfItem(const_cast<void*>(item)); }
AeHDR* hdrOf(const GIDU* g) { return static_cast<AeHDR*>(g->idu); }
AcseApdu* acseOf(const GIDU* g) { return static_cast<AcseApdu*>(hdrOf(g)->wrapped); }
PIDU* piduOf(const GIDU* g) { return static_cast<PIDU*>(g->idu); }

// The record carries what the primitive needs: the APDU of `code` with its
// private presentation part marked by `bit`.
bool hasParams(const AcseApdu* apdu, uint32_t code, uint32_t bit) {
  return apdu != nullptr && apdu->code == code && (apdu->aarq.presence & bit) != 0;
}

// The presentation GIDU turns into a local error for the user: the APDU
// record lacked its presentation part. Always NULL.
GIDU* noParams(GIDU* pres, const GIDU* apduGidu, const char* line) {
  TM_TRACE(al_comTMHandle, kLowest, kSrc, "%s", line);
  QvSetOsiError(static_cast<int32_t>(AL_ERR_NO_PRES_PARAMS));
  AL_createLocalError(pres, AL_ERR_NO_PRES_PARAMS);
  pres->iduType = apduGidu->iduType;
  SaoCB* sao = saoOf(pres);
  if (sao != nullptr && sao->sacfRcv != nullptr) sao->sacfRcv(pres);
  else al_deleteGidu(pres);
  return nullptr;
}

// Memory ran out while the presentation GIDU was filled: the association
// ends, the presentation GIDU goes. Always NULL.
GIDU* outOfMemory(GIDU* pres) {
  TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** No memory\n");
  quickAborts(pres, AL_ERR_NO_MEMORY, 1);
  return nullptr;
}

// A presentation selector of a presentation address into the PIDU's form,
// its octets in `tree`; absent stays absent. False when memory runs out.
bool copySelector(PSelector* dst, const UL_Paddress& from, XmTree* tree) {
  if ((from.mask & UL_PADDR_PSEL) == 0) return true;
  const OctStgV& sel = from.pSel;
  const uint32_t n = static_cast<int32_t>(sel.length) < 0 ? 0 : sel.length;
  dst->length = static_cast<int32_t>(n);
  dst->octets = nullptr;
  if (n == 0) return true;
  dst->octets = static_cast<uint8_t*>(_xm_allocItem(tree, n, 0));
  if (dst->octets == nullptr) return false;
  if (sel.octets != nullptr) std::memcpy(dst->octets, sel.octets, n);
  else std::memset(dst->octets, 0, n);
  return true;
}

uint32_t transportOf(int32_t networkService) {
  switch (networkService) {
    case 1: return kTransportTp024;
    case 2: return kTransportTp0Tcp;
    default: return kTransportTp4;
  }
}

// P-CONNECT request from the A-ASSOCIATE request record.
GIDU* pConReq(GIDU* pres, const GIDU* gidu) {
  AcseApdu* apdu = acseOf(gidu);
  if (!hasParams(apdu, AC_APDU_AARQ, AC_AARQ_CONN_PARAMS)) return noParams(pres, gidu, "*** NO params in AARQ\n");
  AcAarq& aarq = apdu->aarq;
  aarq.presence &= ~AC_AARQ_CONN_PARAMS;
  const AcConnParams& cp = aarq.connParams;
  PIDU* pidu = piduOf(pres);
  XmTree* tree = treeOf(pidu);
  pidu->userRef = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(gidu->uc));
  if (!copySelector(&pidu->local.pSel, cp.callingAddress, tree) ||
      al_copyPSAP(&pidu->remote, &cp.calledAddress, tree) == nullptr)
    return outOfMemory(pres);
  pcdl(pidu, gidu);
  pidu->flag2 = cp.presentationMode == 1 ? 1 : 0;
  pidu->transportKind = transportOf((cp.presence & AC_CP_NSERVICE) != 0 ? cp.networkService : 0);
  pidu->transportClass = static_cast<uint32_t>(cp.transportClass);
  if ((cp.presence & AC_CP_TCLASS) != 0) pidu->local.flags |= kPiduLocalTClassGiven;
  if ((cp.presence & AC_CP_PRES_REQUIREMENTS) != 0) pidu->presRequirements = cp.presRequirements;
  pidu->sessRequirements = cp.sessRequirements;
  if ((cp.presence & AC_CP_TOKENS) != 0) pidu->tokenItem = static_cast<uint32_t>(cp.initialTokens);
  if ((cp.presence & AC_CP_SYNC_POINT) != 0) pidu->serial = static_cast<uint32_t>(cp.initialSyncPoint);
  // The further connect word carries the choice of session functional units.
  pidu->connectWord = kDuplex;
  return pres;
}

// The place of the context results of a responder: the presentation layer
// answers from its own context table.
void pcrl(PIDU*, const GIDU* gidu) { AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "pcrl", gidu, 1); }

// P-CONNECT response, positive or negative, from the A-ASSOCIATE response.
GIDU* pConAccRej(GIDU* pres, const GIDU* gidu) {
  AcseApdu* apdu = acseOf(gidu);
  if (!hasParams(apdu, AC_APDU_AARE, AC_AARE_CONN_RESULT)) return noParams(pres, gidu, "*** NO params in AARE\n");
  AcAare& aare = apdu->aare;
  aare.presence &= ~AC_AARE_CONN_RESULT;
  const AcConnResult& cr = aare.connResult;
  PIDU* pidu = piduOf(pres);
  pidu->userRef = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(gidu->uc));
  if ((cr.presence & AC_CR_RESPONDING_ADDRESS) != 0) {
    if (!copySelector(&pidu->responding.pSel, cr.respondingAddress, treeOf(pidu))) return outOfMemory(pres);
    if (pidu->responding.pSel.length >= 0) pidu->responding.flags |= UL_PADDR_PSEL;
  } else {
    TM_TRACE(al_comTMHandle, AL_TL_ENTRY, kSrc, "*** Warning: no responding PSAP address in AARE\n");
  }
  pcrl(pidu, gidu);
  if (aare.resultSource == AC_SOURCE_USER || aare.resultSource == AC_SOURCE_PROVIDER)
    pidu->reason = static_cast<int32_t>(aare.diagnostic);
  if ((cr.presence & AC_CR_PRES_REQUIREMENTS) != 0) pidu->presRequirements = cr.presRequirements;
  pidu->sessRequirements = cr.sessRequirements;
  if ((cr.presence & AC_CR_TOKENS) != 0) pidu->tokenItem = static_cast<uint32_t>(cr.initialTokens);
  if ((cr.presence & AC_CR_SYNC_POINT) != 0) pidu->serial = static_cast<uint32_t>(cr.initialSyncPoint);
  return pres;
}

// P-RELEASE positive response: the A-RELEASE response's release result
// stays private.
GIDU* pRelAcc(GIDU* pres, const GIDU* gidu) {
  AcseApdu* apdu = acseOf(gidu);
  if (!hasParams(apdu, AC_APDU_RLRE, AC_RLRE_RELEASE_RESULT)) return noParams(pres, gidu, "*** NO params in RLRE\n");
  apdu->rlre.presence &= ~AC_RLRE_RELEASE_RESULT;
  return pres;
}

// The presentation GIDU of the service element's GIDU, its PIDU filled by
// the presentation event; NULL when it could not be made or filled.
GIDU* createPPDU(GIDU* gidu) {
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "createPPDU", gidu, 1);
  GIDU* pres = al_createGiduWithPidu(gidu, AL_IDU_PRES, AL_EV_PRIMITIVE);
  if (pres == nullptr) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** No memory\n");
    quickAborts(gidu, AL_ERR_NO_MEMORY, 0);
    return nullptr;
  }
  const AeHDR* hdr = hdrOf(gidu);
  PIDU* pidu = piduOf(pres);
  pidu->event = hdr->hdrWord1;
  pidu->reason = static_cast<int32_t>(hdr->hdrWord2);
  switch (pidu->event) {
    case P_CON_REQ:
      TM_TRACE(al_comTMHandle, kInfo, kSrc, "PCONREQ\n");
      return pConReq(pres, gidu);
    case P_CON_ACC:
    case P_CON_REJ:
      TM_TRACE(al_comTMHandle, kInfo, kSrc, "PCONACCREJ\n");
      return pConAccRej(pres, gidu);
    case P_REL_ACC:
      TM_TRACE(al_comTMHandle, kInfo, kSrc, "PRELACC\n");
      return pRelAcc(pres, gidu);
    case P_GT_REQ:
    case P_PT_REQ:
    case P_RSYN_AB:
    case P_RSYN_RES:
    case P_RSYN_SET:
    case P_RSYN_RSP:
      TM_TRACE(al_comTMHandle, kInfo, kSrc, "PRSYN\n");
      if (hdr->hdrWord6 != 0) pidu->tokenItem = hdr->hdrWord6;
      pidu->serial = hdr->hdrWord7;
      break;
    case P_SYN_REQ:
      TM_TRACE(al_comTMHandle, kInfo, kSrc, "PSYNREQ\n");
      pidu->serial = hdr->hdrWord7;
      pidu->syncType = 1;  // the minor synchronisation point is to be confirmed
      break;
    case P_SYN_RSP:
      TM_TRACE(al_comTMHandle, kInfo, kSrc, "PSYNRSP\n");
      pidu->serial = hdr->hdrWord7;
      break;
    case P_DT_REQ:
      TM_TRACE(al_comTMHandle, kInfo, kSrc, "PDTREQ\n");
      break;
    case P_SYNM_REQ:
      TM_TRACE(al_comTMHandle, kInfo, kSrc, "PSYNMREQ\n");
      break;
    default:
      break;
  }
  return pres;
}

// The data element of one service element's GIDU, in `tree`: the APDU's
// tree moves under `tree` and the header lets go of it.
DElem* createDElem(GIDU* gidu, XmTree* tree) {
  auto* d = static_cast<DElem*>(_xm_allocItem(tree, sizeof(DElem), XM_ZERO));
  if (d == nullptr) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** No memory\n");
    quickAborts(gidu, AL_ERR_NO_MEMORY, 0);
    return nullptr;
  }
  p_clear_delem(d);
  AeHDR* hdr = hdrOf(gidu);
  d->pctxId = static_cast<int32_t>(hdr->pctxId);
  d->value = hdr->wrapped;
  if (hdr->wrapped != nullptr) {
    XmTree* own = treeOf(hdr->wrapped);
    // A value allocated straight in the GIDU's tree goes as an item; one of
    // its own tree goes with everything it holds.
    if (own == treeOf(gidu)) _xm_moveItem(hdr->wrapped, tree);
    else if (own != nullptr) _xm_moveTree(tree, own);
  }
  hdr->wrapped = nullptr;
  return d;
}

void appendDElem(PIDU* pidu, DElem* d) {
  d->next = &pidu->dataList;
  d->prev = pidu->dataList.prev;
  pidu->dataList.prev->next = d;
  pidu->dataList.prev = d;
}

// One presentation GIDU of the ring of service elements' GIDUs, one data
// element each, the input deleted; NULL (the input kept) when it cannot be
// made.
GIDU* cvrtApdusToPpdu(GIDU* first) {
  // A pass converts the GIDU of one step at a time.
  assert(first->next == first && first->prev == first);
  GIDU* pres = createPPDU(first);
  if (pres == nullptr) return nullptr;
  PIDU* pidu = piduOf(pres);
  GIDU* g = first;
  do {
    DElem* d = createDElem(g, treeOf(pidu));
    if (d == nullptr) {
      al_deleteGidu(pres);
      return nullptr;
    }
    appendDElem(pidu, d);
    g = g->next;
  } while (g != first);
  purgeList(first);
  return pres;
}

}  // namespace

void pcdl(PIDU* pidu, const GIDU* gidu) {
  const SaoCB* sao = saoOf(gidu);
  for (int32_t id = 0; id < kPiduCtxCount; ++id) {
    pidu->ctxDefList[id] = -1;
    if ((id & 1) == 0) continue;
    const PctxEntry* e = sao != nullptr && sao->pctxTbl != nullptr ? &sao->pctxTbl[id] : nullptr;
    if (e != nullptr && e->ase != nullptr) {
      pidu->ctxDefList[id] = static_cast<int32_t>(e->ase->asIdx);
      TM_TRACE(al_comTMHandle, kInfo, kSrc, "index: %d, iduType: 0x%x asidx: %d\n", id, e->aseId,
               pidu->ctxDefList[id]);
    } else {
      TM_TRACE(al_comTMHandle, kInfo, kSrc, "pctxid %d not used for assoc 0x%lx\n", id,
               reinterpret_cast<unsigned long>(sao));
    }
  }
}

void quickAborts(GIDU* gidu, uint32_t osiError, int32_t deleteGidu) {
  if (gidu == nullptr) return;
  if (SaoCB* sao = saoOf(gidu)) AL_aeSendQuickAborts(sao, gidu, sao->sacfRcv, sao->sacfSnd, osiError);
  if (deleteGidu != 0) AL_deleteGiduWithAeHDR(gidu);
}

void purgeList(GIDU* first) {
  while (first != nullptr) {
    GIDU* g = al_ringTake(&first);
    AL_deleteGiduWithAeHDR(g);
  }
}

GIDU* AL_cvrtApdu(GIDU* gidu) {
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "AL_cvrtApdu", gidu, 1);
  if (gidu == nullptr) return nullptr;
  GIDU* pres = nullptr;
  switch (gidu->iduType) {
    case AL_IDU_PRES_RCV:
      TM_TRACE(al_comTMHandle, kInfo, kSrc, "PRES_APDU\n");
      AL_deleteAeHDR(gidu);
      gidu->iduType = AL_IDU_PRES;
      return gidu;
    case AL_IDU_TP:
    case AL_IDU_UDT:
    case AL_IDU_RDA:
    case AL_IDU_CCR:
    case AL_IDU_ACSE:
      TM_TRACE(al_comTMHandle, kInfo, kSrc, "ACSE/CCR/TP/RDA APDU\n");
      // Only a primitive that carries an APDU under its header converts.
      if (al_isPrimitive(gidu->event) && gidu->idu != nullptr && hdrOf(gidu)->wrapped != nullptr)
        pres = cvrtApdusToPpdu(gidu);
      break;
    default:
      TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** Unknown idu_type=0x%x, APDUs deleted\n", gidu->iduType);
      break;
  }
  if (pres != nullptr) return pres;
  TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** Couldn't convert APDUs to PPDU, APDUs deleted\n");
  purgeList(gidu);
  return nullptr;
}
