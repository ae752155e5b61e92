// The RDA application entity: invocations, association blocks, reference
// translation and the exits of the SACF passes.
#include "src/rda/rda_ae.h"

#include <algorithm>

#include "common/timer2.h"
#include "src/acse/abort.h"
#include "src/acse/acse_apdu.h"
#include "src/acse/al_errno.h"
#include "src/acse/al_trace.h"
#include "src/asn1/decode_tree.h"
#include "src/asn1/rda_idu.h"
#include "src/presentation/pfsm.h"
#include "src/presentation/pidu.h"
#include "src/presentation/psyntax.h"
#include "src/presentation/users.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_trace.h"
#include "src/rda/rdatls.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rda_ae";

// Presentation events.
constexpr uint32_t kPevConnectReq = 14;
constexpr uint32_t kPevConnectRej = 16;
constexpr uint32_t kPevConnectInd = 89;
constexpr uint32_t kPevConnectCnf = 90;
constexpr uint32_t kPevConnectNegCnf = 91;
constexpr uint32_t kPevSessionAbortInd = 100;

constexpr uint32_t kOriginAe = 1;
constexpr uint32_t kOriginReject = 9;

void* presConnect(GIDU* gidu) { return p_connect(gidu); }

void setError(uint32_t err) { QvSetOsiError(static_cast<int32_t>(err)); }

UL_Ring* aeiList() {
  RdaAeTLS* tls = getRdaAeTLS(0);
  return tls != nullptr ? tls->RDA_aeiCBs : nullptr;
}

const char* eventName(const GIDU* g, char (&buf)[AL_EVENT_TEXT_SIZE]) {
  const char* n = al_traceEvent(g, buf);
  return n != nullptr ? n : "(null)";
}

// The ACSE APDU of a GIDU of IDU type 240 whose top header wraps it.
AcseApdu* acseOf(const GIDU* g) {
  if (g == nullptr || g->iduType != AL_IDU_ACSE || g->idu == nullptr) return nullptr;
  return static_cast<AcseApdu*>(static_cast<AeHDR*>(g->idu)->wrapped);
}

// Appends to / takes out of an invocation's association list. Connections
// of one environment share its invocation from their own threads, so the
// list is only touched under the entity's mutex.
void linkSao(AeiCB* aei, SaoCB* sao) {
  QvWaitForSingleObject(hSerializeRdaAeMutex);
  UL_Link* head = &aei->saoList.links;
  sao->next = head;
  sao->prev = head->prev;
  head->prev->next = sao;
  head->prev = sao;
  ++aei->saoList.count;
  QvReleaseMutex(hSerializeRdaAeMutex);
}

void unlinkSao(AeiCB* aei, SaoCB* sao) {
  QvWaitForSingleObject(hSerializeRdaAeMutex);
  if (sao->next != sao) {
    sao->prev->next = sao->next;
    sao->next->prev = sao->prev;
    sao->next = sao->prev = sao;
    if (aei != nullptr && aei->saoList.count > 0) --aei->saoList.count;
  }
  QvReleaseMutex(hSerializeRdaAeMutex);
}

// The association after `from` in the invocation's list (the first one for
// NULL), or NULL at the end.
SaoCB* nextSao(AeiCB* aei, SaoCB* from) {
  QvWaitForSingleObject(hSerializeRdaAeMutex);
  UL_Link* head = &aei->saoList.links;
  UL_Link* l = from != nullptr ? from->next : head->next;
  SaoCB* next = l != head && l != from ? static_cast<SaoCB*>(l) : nullptr;
  QvReleaseMutex(hSerializeRdaAeMutex);
  return next;
}

// Whether `sao` is one of the invocation's associations now: a reference
// the user hands down may name one that has ended (an abort freed it).
bool saoListed(AeiCB* aei, const SaoCB* sao) {
  if (aei == nullptr || sao == nullptr) return false;
  QvWaitForSingleObject(hSerializeRdaAeMutex);
  const bool listed = UL_ringHolds(&aei->saoList, sao);
  QvReleaseMutex(hSerializeRdaAeMutex);
  return listed;
}

// The association that recorded presentation connection `pconn`, among
// the thread's invocations. A called connection learns the user's
// reference for the association only with the P-CONNECT response, so what
// comes before that (an abort) names the connection alone.
SaoCB* saoOfConnection(const void* pconn) {
  UL_Ring* list = aeiList();
  if (list == nullptr || pconn == nullptr) return nullptr;
  SaoCB* found = nullptr;
  QvWaitForSingleObject(hSerializeRdaAeMutex);
  for (UL_Link* l = list->links.next; l != &list->links && found == nullptr; l = l->next) {
    auto* aei = static_cast<AeiCB*>(l);
    for (UL_Link* s = aei->saoList.links.next; s != &aei->saoList.links; s = s->next) {
      if (static_cast<SaoCB*>(s)->pconn == pconn) {
        found = static_cast<SaoCB*>(s);
        break;
      }
    }
  }
  QvReleaseMutex(hSerializeRdaAeMutex);
  return found;
}

// Another invocation of the list on the same P-selector.
bool addressShared(const AeiCB* aei) {
  UL_Ring* list = aeiList();
  if (list == nullptr || aei->actParams == nullptr) return false;
  for (UL_Link* l = list->links.next; l != &list->links; l = l->next) {
    const auto* other = static_cast<const AeiCB*>(l);
    if (other != aei && other->actParams != nullptr &&
        ul_octstgvcmp(&other->actParams->pAddress.pSel, &aei->actParams->pAddress.pSel) != 0)
      return true;
  }
  return false;
}

void deleteAei(AeiCB* aei) {
  UL_Ring* list = aeiList();
  if (list != nullptr && aei->next != aei && list->count > 0) --list->count;
  AL_deleteAeiCB(aei);
}

// ---------------------------------------------------------------------------
// Delivery to the service user

void sendToUser(GIDU* gidu, AlGiduFn entry) {
  AL_TRACE_GIDU(rda_aeTMHandle, AL_TL_ENTRY, kSrc, "sendToUser", gidu, 1);
  if (al_isPrimitive(gidu->event)) {
    AL_deleteAeHDR(gidu);
    if (gidu->iduType == AL_IDU_PRES_RCV) gidu->iduType = AL_IDU_PRES;
  }
  auto* sao = static_cast<SaoCB*>(gidu->uc);
  gidu->pc = sao;
  gidu->uc = sao != nullptr ? sao->acb : nullptr;
  auto* aei = static_cast<AeiCB*>(gidu->ue);
  gidu->pe = aei;
  if (aei != nullptr) {
    gidu->ue = aei->ucb;
    entry = aei->userEntry;
    const bool failedActivate = gidu->event == AL_ACT_CNF && gidu->errNo != 0;
    const bool deactivated = (gidu->event == AL_DEACT_CNF || gidu->event == AL_FDEACT_CNF) && gidu->errNo == 0;
    if (failedActivate || deactivated) {
      // An address that another invocation still uses stays registered.
      const OctStgV* psel = aei->actParams != nullptr ? &aei->actParams->pAddress.pSel : nullptr;
      if (psel == nullptr || addressShared(aei) || p_deactivate(psel) != 0) {
        deleteAei(aei);
        gidu->pe = nullptr;
      } else {
        TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** sendToUser: rda_psDeactivate failed\n");
        gidu->errNo = RDA_AE_ERR_DEREG_FAILED;
      }
    }
  }
  char name[AL_EVENT_TEXT_SIZE];
  if (entry != nullptr) {
    TM_TRACE(rda_aeTMHandle, AL_TL_RESULT, kSrc, "sendToUser: event (%s) is sent to the AE user\n",
             eventName(gidu, name));
    entry(gidu);
  } else {
    TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** sendToUser: aeiCB is NULL, can't sent %s to user\n",
             eventName(gidu, name));
    al_deleteGidu(gidu);
  }
}

void userEntPt(GIDU* gidu) { sendToUser(gidu, nullptr); }

// Turns the GIDU into a confirm of a stack-control request.
void bldControlCnf(GIDU* gidu, uint32_t event, uint32_t err) {
  al_freeUnit(gidu);
  gidu->event = event;
  gidu->errNo = err;
}

// An Activate confirm for the user's receive entry, with no invocation.
void sendActivateCnf(GIDU* gidu, uint32_t err, AlGiduFn entry, void* ucb) {
  bldControlCnf(gidu, AL_ACT_CNF, err);
  gidu->pe = nullptr;
  gidu->ue = ucb;
  gidu->uc = gidu->pc = nullptr;
  if (entry != nullptr) entry(gidu);
  else al_deleteGidu(gidu);
}

bool sameIdentity(const UL_AEId& a, const UL_AEId& b) {
  if (a.apTitle.kind != b.apTitle.kind || ul_objidvcmp(&a.apTitle.objId, &b.apTitle.objId) == 0) return false;
  if (a.aeQual.kind != b.aeQual.kind || a.aeQual.integer != b.aeQual.integer) return false;
  const bool apA = (a.mask & UL_AEID_APINVOKE) != 0;
  const bool apB = (b.mask & UL_AEID_APINVOKE) != 0;
  if (apA != apB || (apA && a.apInvokeId != b.apInvokeId)) return false;
  const bool aeA = (a.mask & UL_AEID_AEINVOKE) != 0;
  const bool aeB = (b.mask & UL_AEID_AEINVOKE) != 0;
  return aeA == aeB && a.aeInvokeId == b.aeInvokeId;
}

void processActivateReq(GIDU* gidu, AlGiduFn entry, void* ucb) {
  AL_TRACE_GIDU(rda_aeTMHandle, AL_TL_ENTRY, kSrc, "processActivateReq", gidu, 1);
  RdaAeTLS* tls = getRdaAeTLS(0);
  auto* idu = static_cast<RDAIdu*>(gidu->idu);
  UL_AEId* params = idu != nullptr && idu->tag == RDA_ACTIVATE_REQ ? idu->activate.aeId : nullptr;
  if (tls == nullptr || tls->RDA_aeiCBs == nullptr) {
    sendActivateCnf(gidu, RDA_AE_ERR_NOT_INITIALIZED, entry, ucb);
    return;
  }
  if (params == nullptr || AL_chkActParams(params) == 0) {
    sendActivateCnf(gidu, RDA_AE_ERR_BAD_ACT_PARAM, entry, ucb);
    return;
  }
  UL_Ring* list = tls->RDA_aeiCBs;
  bool addressActive = false;
  for (UL_Link* l = list->links.next; l != &list->links; l = l->next) {
    const UL_AEId* other = static_cast<AeiCB*>(l)->actParams;
    if (other == nullptr) continue;
    if (sameIdentity(*other, *params)) {
      TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** processActivateReq: AE identity in use\n");
      sendActivateCnf(gidu, RDA_AE_ERR_AE_ID_INUSE, entry, ucb);
      return;
    }
    if (ul_octstgvcmp(&other->pAddress.pSel, &params->pAddress.pSel) != 0) addressActive = true;
  }

  const AeiDescriptor d{static_cast<uint32_t>(std::max(sizeof(AsxEntry), sizeof(RdaAeiCB))), kRdaAeiCbId,
                        RDA_actxTBL, tls->asxTbl, params};
  auto* aei = static_cast<RdaAeiCB*>(AL_createAeiCB(gidu, entry, &d));
  if (aei == nullptr) {
    sendActivateCnf(gidu, static_cast<uint32_t>(QvGetOsiError()), entry, ucb);
    return;
  }
  aei->ucb = ucb;
  aei->role = idu->activate.actData != nullptr ? idu->activate.actData->flag : kRdaRoleClient;
  UL_Link* head = &list->links;
  aei->next = head;
  aei->prev = head->prev;
  head->prev->next = aei;
  head->prev = aei;
  ++list->count;

  if (!addressActive) {
    const OctStgV* psel = &params->pAddress.pSel;
    uint32_t err = 0;
    if (p_activate(psel, rda_aeRcv, kPsModeNormal, reinterpret_cast<uintptr_t>(aei)) == 0) {
      TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** processActivateReq: p_activate failed, osi_errno=0x%x\n",
               QvGetOsiError());
      err = RDA_AE_ERR_REG_FAILED;
    }
    for (int32_t i = 0; err == 0 && i < kRdaAsxRows && tls->asxTbl[i].arcCount != 0; ++i) {
      AsxEntry& row = tls->asxTbl[i];
      const int32_t n = p_asynreg(psel, row.arcCount, row.arcs, row.decode, row.encode, 0);
      if (n < 0) err = RDA_AE_ERR_ASX_FAILED;
      else row.asIdx = static_cast<uint32_t>(n);
    }
    for (int32_t i = 0; err == 0 && i < kRdaAsxRows && tls->asxTbl[i].arcCount != 0; ++i)
      if (p_assoc(psel, static_cast<int32_t>(tls->asxTbl[i].asIdx), ps_asn1_tsidx) == 0) err = RDA_AE_ERR_ASX_FAILED;
    if (err != 0) {
      if (err != RDA_AE_ERR_REG_FAILED) p_deactivate(psel);
      // The request's unit holds the parameters that the invocation took
      // a share of: it lets go of them before the invocation frees them.
      al_freeUnit(gidu);
      deleteAei(aei);
      sendActivateCnf(gidu, err, entry, ucb);
      return;
    }
  }
  gidu->ue = aei;
  gidu->uc = gidu->pc = nullptr;
  bldControlCnf(gidu, AL_ACT_CNF, 0);
  userEntPt(gidu);
}

void processDeactivateReq(GIDU* gidu) {
  AL_TRACE_GIDU(rda_aeTMHandle, AL_TL_ENTRY, kSrc, "processDeactivateReq", gidu, 1);
  auto* aei = static_cast<AeiCB*>(gidu->ue);
  uint32_t err = 0;
  if (aei != nullptr && RDA_aeSaoCount(aei) != 0) {
    TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc,
             "*** processDeactivateReq: active assoc remained, can't deactivate\n");
    err = RDA_AE_ERR_ACTIVE_ASSOCS;
  }
  gidu->uc = gidu->pc = nullptr;
  bldControlCnf(gidu, AL_DEACT_CNF, err);
  userEntPt(gidu);
}

void processFDeactivateReq(GIDU* gidu) {
  AL_TRACE_GIDU(rda_aeTMHandle, AL_TL_ENTRY, kSrc, "processFDeactivateReq", gidu, 1);
  auto* aei = static_cast<AeiCB*>(gidu->ue);
  SaoCB* sao = aei != nullptr ? nextSao(aei, nullptr) : nullptr;
  while (sao != nullptr) {
    SaoCB* following = nextSao(aei, sao);
    gidu->uc = sao;
    gidu->pc = sao->pconn;
    AL_refSaoCB(sao);
    AL_aeSendAAborts(sao, gidu, userEntPt, sao->saoSnd, kOriginReject);
    AL_derefSaoCB(sao);
    RDA_aeDeleteSaoCB(sao, aei);
    sao = following;
  }
  gidu->uc = gidu->pc = nullptr;
  bldControlCnf(gidu, AL_FDEACT_CNF, 0);
  userEntPt(gidu);
}

// A negative P-CONNECT confirm for the association whose P-CONNECT request
// the presentation layer refused, or the reserved quick-abort indication
// when no GIDU can be made.
GIDU* bldPconnCnf(SaoCB* sao) {
  GIDU* cnf = al_createGiduWithPidu(nullptr, AL_IDU_PRES, AL_EV_PRIMITIVE);
  if (cnf != nullptr) {
    static_cast<PIDU*>(cnf->idu)->event = kPevConnectNegCnf;
    return cnf;
  }
  if (sao == nullptr || sao->qabortInd == nullptr) return nullptr;
  cnf = sao->qabortInd;
  sao->qabortInd = nullptr;
  cnf->errNo = RDA_AE_ERR_NO_RESOURCE;
  cnf->iduType = AL_IDU_RDA;
  return cnf;
}

// The low byte of an OSI error as the diagnostic of a refused P-CONNECT;
// an error without a number is "no reason given".
uint32_t rejectReason(uint32_t err) {
  const uint32_t low = err & 0xFF;
  return low != 0 ? low : 1;
}

// The invocation that answers a P-CONNECT indication. Only an entity
// activated in a server role takes connections: one of the client role
// alone refuses them.
AeiCB* assignAei(const GIDU* gidu, UL_Ring* list) {
  bool server = false;
  for (UL_Link* l = list != nullptr ? list->links.next : nullptr; l != nullptr && l != &list->links; l = l->next)
    if (static_cast<RdaAeiCB*>(l)->role != kRdaRoleClient) server = true;
  if (!server) {
    TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** rda_aeRcv: no AE invocation in the server role\n");
    setError(AL_ERR_BAD_PARAM);
    return nullptr;
  }
  auto* aei = static_cast<RdaAeiCB*>(AL_assignAEI(gidu, list));
  if (aei != nullptr && aei->role == kRdaRoleClient) {
    setError(AL_ERR_BAD_PARAM);
    return nullptr;
  }
  return aei;
}

void connectIndication(GIDU* gidu) {
  uint32_t result = AL_chkAAssocParams(gidu);
  AeiCB* aei = nullptr;
  SaoCB* sao = nullptr;
  if (result == AL_ASSOC_ACCEPTABLE) {
    aei = assignAei(gidu, aeiList());
    if (aei == nullptr) {
      TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** rda_aeRcv: P-CONNECT.ind not assigned to AEI\n");
      result = static_cast<uint32_t>(QvGetOsiError());
    }
  }
  if (result == AL_ASSOC_ACCEPTABLE) {
    gidu->ue = aei;
    sao = RDA_aeCreateSaoCB(gidu, nullptr);
    if (sao == nullptr) {
      TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** rda_aeRcv: SaoCB not created for P-CONNECT.ind\n");
      result = static_cast<uint32_t>(QvGetOsiError());
    } else {
      TM_TRACE(rda_aeTMHandle, AL_TL_RESULT, kSrc, "rda_aeRcv: P-CONNECT.ind assigned SaoCB=%x, AeiCB=%x\n",
               static_cast<uint32_t>(reinterpret_cast<uintptr_t>(sao)),
               static_cast<uint32_t>(reinterpret_cast<uintptr_t>(aei)));
    }
  }
  if (result == AL_ASSOC_ACCEPTABLE) {
    gidu->uc = sao;
    sao->pconn = gidu->pc;
    aei->presRef = gidu->pe;
    sao->saoRcv(gidu);
    return;
  }
  TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "rda_aeRcv: There is error (%x) in processing P-CONNECT.ind ", result);
  RDA_aeSendPconnReject(gidu, rejectReason(result));
}

}  // namespace

RdaPconnFn RDA_pconn = presConnect;
RdaPspFn RDA_psp = psp;

// ---------------------------------------------------------------------------
// Start and stop

int32_t rda_aeInit() {
  TM_TRACE(rda_aeTMHandle, AL_TL_ENTRY, kSrc, "rda_aeInit called\n");
  RdaAeTLS* tls = getRdaAeTLS(0);
  if (tls == nullptr) {
    setError(RDA_AE_ERR_NO_RESOURCE);
    return 0;
  }
  if (tls->RDA_aeiCBs != nullptr) {
    TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "RDA-AE already initialized\n");
    setError(RDA_AE_ERR_INITIALIZED_ALREADY);
    return 0;
  }
  int32_t ctxRows = 0;
  while (ctxRows < kRdaActxRows && RDA_actxTBL[ctxRows].arcCount != 0) ++ctxRows;
  auto termContexts = [&](int32_t upTo) {
    const int32_t err = QvGetOsiError();
    for (int32_t i = upTo - 1; i >= 0; --i)
      if (RDA_actxTBL[i].saoTerm != nullptr) RDA_actxTBL[i].saoTerm();
    QvSetOsiError(err);
  };
  for (int32_t i = 0; i < ctxRows; ++i) {
    if (RDA_actxTBL[i].saoInit == nullptr || RDA_actxTBL[i].saoInit() != 0) continue;
    if (static_cast<uint32_t>(QvGetOsiError()) == RDA_SACF_ERR_INITIALIZED_ALREADY) {
      QvSetOsiError(0);
      continue;
    }
    termContexts(i);
    return 0;
  }
  AsxEntry* asx = tls->asxTbl;
  for (int32_t i = 0; i < kRdaAsxRows && asx[i].arcCount != 0; ++i) {
    if (asx[i].aseId == 0 || asx[i].init == nullptr || asx[i].init() != 0) continue;
    if (static_cast<uint32_t>(QvGetOsiError()) == RDA_ASE_ERR_INITIALIZED_ALREADY) {
      QvSetOsiError(0);
      continue;
    }
    const int32_t err = QvGetOsiError();
    for (int32_t j = i - 1; j >= 0; --j)
      if (asx[j].aseId != 0 && asx[j].terminate != nullptr) asx[j].terminate();
    QvSetOsiError(err);
    termContexts(ctxRows);
    return 0;
  }
  auto* list = static_cast<UL_Ring*>(_xm_allocItemWithTree(sizeof(UL_Ring), XM_ZERO));
  if (list == nullptr) {
    TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** Memory allocation failure for RDA_aeiCBs\n");
    setError(RDA_AE_ERR_NO_RESOURCE);
    return 0;
  }
  list->links.next = list->links.prev = &list->links;
  tls->RDA_aeiCBs = list;
  TM_TRACE(rda_aeTMHandle, AL_TL_RESULT, kSrc, "RDA AE initialized successfully (RDA_aeiCBs = 0x%lx)\n",
           reinterpret_cast<unsigned long>(list));
  return 1;
}

int32_t rda_aeStart() {
  TM_TRACE(rda_aeTMHandle, AL_TL_ENTRY, kSrc, "rda_aeStart called\n");
  return 1;
}

int32_t rda_aeTerm() {
  TM_TRACE(rda_aeTMHandle, AL_TL_ENTRY, kSrc, "rda_aeTerm called\n");
  RdaAeTLS* tls = getRdaAeTLS(0);
  if (tls == nullptr || tls->RDA_aeiCBs == nullptr) {
    TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "RDA AE not initialized\n");
    setError(RDA_AE_ERR_NOT_INITIALIZED);
    return 0;
  }
  if (tls->RDA_aeiCBs->count != 0) {
    setError(RDA_AE_ERR_AEI_ACTIVE);
    return 0;
  }
  const AsxEntry* asx = tls->asxTbl;
  for (int32_t i = 0; i < kRdaAsxRows && asx[i].arcCount != 0; ++i) {
    if (asx[i].aseId == 0 || asx[i].terminate == nullptr || asx[i].terminate() != 0) continue;
    if (static_cast<uint32_t>(QvGetOsiError()) != RDA_ASE_ERR_NOT_INITIALIZED) return 0;
  }
  for (int32_t i = 0; i < kRdaActxRows && RDA_actxTBL[i].arcCount != 0; ++i) {
    if (RDA_actxTBL[i].saoTerm == nullptr || RDA_actxTBL[i].saoTerm() != 0) continue;
    if (static_cast<uint32_t>(QvGetOsiError()) != RDA_SACF_ERR_NOT_INITIALIZED) return 0;
  }
  QvSetOsiError(0);
  UL_Ring* list = tls->RDA_aeiCBs;
  tls->RDA_aeiCBs = nullptr;
  _xm_freeTree(xm_getParentOfItem(list));
  TM_TRACE(rda_aeTMHandle, AL_TL_RESULT, kSrc, "RDA AE terminated successfully (RDA_aeiCBs = 0x%lx)\n",
           reinterpret_cast<unsigned long>(list));
  return 1;
}

// ---------------------------------------------------------------------------
// Downwards

void rda_aeSnd(GIDU* gidu, AlGiduFn userEntry) {
  AL_TRACE_GIDU(rda_aeTMHandle, AL_TL_ENTRY, kSrc, "rda_aeSnd", gidu, 1);
  if (gidu == nullptr) return;
  // The service user's view becomes the association's.
  void* ucb = gidu->ue;
  auto* aei = static_cast<AeiCB*>(gidu->pe);
  gidu->ue = aei;
  if (aei != nullptr) {
    aei->ucb = ucb;
    gidu->pe = aei->presRef;
  }
  void* acb = gidu->uc;
  auto* sao = static_cast<SaoCB*>(gidu->pc);
  if (sao != nullptr && !saoListed(aei, sao)) {
    // An association that has ended: what is sent on it goes nowhere.
    TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** rda_aeSnd: SaoCB 0x%lx is no association of the AEI\n",
             reinterpret_cast<unsigned long>(sao));
    sao = nullptr;
    gidu->pc = nullptr;
  }
  gidu->uc = sao;
  if (sao != nullptr) {
    sao->acb = acb;
    gidu->pc = sao->pconn;
  }

  if (al_isPrimitive(gidu->event)) {
    AeHDR* hdr = AL_createAeHDR(gidu);
    if (hdr == nullptr) {
      TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** rda_aeSnd: can't create AeHDR\n");
      if (sao != nullptr) {
        AL_refSaoCB(sao);
        AL_aeSendQuickAborts(sao, gidu, userEntPt, sao->saoSnd, RDA_AE_ERR_NO_RESOURCE);
        AL_derefSaoCB(sao);
        RDA_aeDeleteSaoCB(sao, aei);
      }
      al_deleteGidu(gidu);
      return;
    }
    hdr->hdrOrigin = kOriginAe;
  } else {
    switch (gidu->event) {
      case AL_ACT_REQ: processActivateReq(gidu, userEntry, ucb); return;
      case AL_DEACT_REQ: processDeactivateReq(gidu); return;
      case AL_FDEACT_REQ: processFDeactivateReq(gidu); return;
      default: break;
    }
  }

  if (gidu->iduType == AL_IDU_ACSE && gidu->event == AL_A_ASSOC_REQ) {
    sao = RDA_aeCreateSaoCB(gidu, acb);
    if (sao == nullptr) {
      TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** rda_aeSnd: SaoCB not created for A-Assoc req\n");
      RDA_aeSendAssociateReject(gidu, aei != nullptr ? aei->userEntry : nullptr, rda_aeSndPpduStep, acb, kOriginReject);
      return;
    }
    gidu->uc = sao;
    gidu->pc = sao->pconn;
  }
  if (sao == nullptr || sao->saoSnd == nullptr) {
    char name[AL_EVENT_TEXT_SIZE];
    TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** rda_aeSnd: no association for %s, deleted\n",
             eventName(gidu, name));
    AL_deleteGiduWithAeHDR(gidu);
    return;
  }
  sao->saoSnd(gidu);
}

int32_t RDA_aeSndPpdu(GIDU* gidu) {
  AL_TRACE_GIDU(rda_aeTMHandle, AL_TL_ENTRY, kSrc, "RDA_aeSndPpdu", gidu, 1);
  if (gidu == nullptr) return 0;
  auto* sao = static_cast<SaoCB*>(gidu->uc);
  void* ue = gidu->ue;
  void* pe = gidu->pe;
  void* pc = gidu->pc;
  const auto* pidu = gidu->iduType == AL_IDU_PRES ? static_cast<const PIDU*>(gidu->idu) : nullptr;
  if (gidu->event == AL_EV_PRIMITIVE && pidu != nullptr && pidu->event == kPevConnectReq) {
    void* pconn = RDA_pconn(gidu);
    if (sao != nullptr) sao->pconn = pconn;
    if (pconn != nullptr) return 1;
    TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** RDA_aeSndPpdu: RDA_pconn() failure\n");
    GIDU* cnf = bldPconnCnf(sao);
    if (cnf == nullptr || sao == nullptr) {
      al_deleteGidu(cnf);
      return 0;
    }
    cnf->ue = ue;
    cnf->pe = pe;
    cnf->uc = sao;
    sao->saoRcv(cnf);
    return 0;
  }
  if (RDA_psp(gidu) == 1) return 1;
  const auto err = static_cast<uint32_t>(QvGetOsiError());
  TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** RDA_aeSndPpdu: RDA_psp() failure, osi_errno=0x%x\n", err);
  if (sao == nullptr) {
    TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** RDA_aeSndPpdu: saoCB is NULL, can't send error or quick abort\n");
    return 0;
  }
  if (GIDU* e = al_createGidu(nullptr, AL_IDU_RDA, AL_LOCERR_IND)) {
    e->ue = ue;
    e->pe = pe;
    e->pc = pc;
    e->uc = sao;
    e->errNo = err;
    sao->saoRcv(e);
    return 0;
  }
  if (GIDU* q = sao->qabortReq) {
    sao->qabortReq = nullptr;
    q->pc = pc;
    RDA_psp(q);
  }
  if (GIDU* q = sao->qabortInd) {
    sao->qabortInd = nullptr;
    q->pc = pc;
    q->errNo = RDA_AE_ERR_NO_RESOURCE;
    q->iduType = AL_IDU_RDA;
    sao->saoRcv(q);
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Upwards

int32_t rda_aeRcv(GIDU* gidu) {
  AL_TRACE_GIDU(rda_aeTMHandle, AL_TL_ENTRY, kSrc, "rda_aeRcv", gidu, 1);
  if (gidu == nullptr) return 1;
  // What the decoder allocated for this primitive belongs to it from now on.
  if (XmTree* decoded = aagetlist()) {
    if (gidu->idu != nullptr) _xm_moveTree(xm_getParentOfItem(gidu->idu), decoded);
    else aafreeall(decoded);
  }
  const auto* pidu = gidu->iduType == AL_IDU_PRES ? static_cast<const PIDU*>(gidu->idu) : nullptr;
  const uint32_t pev = pidu != nullptr ? pidu->event : 0;
  if (gidu->event == AL_EV_PRIMITIVE && pev == kPevConnectInd) {
    connectIndication(gidu);
    return 1;
  }
  auto* sao = static_cast<SaoCB*>(gidu->uc);
  if (sao == nullptr && (sao = saoOfConnection(gidu->pc)) != nullptr) {
    char name[AL_EVENT_TEXT_SIZE];
    TM_TRACE(rda_aeTMHandle, AL_TL_RESULT, kSrc, "rda_aeRcv: %s before the response, taken to SaoCB 0x%lx\n",
             eventName(gidu, name), reinterpret_cast<unsigned long>(sao));
    gidu->uc = sao;
  }
  if (sao == nullptr) {
    char name[AL_EVENT_TEXT_SIZE];
    if (pev == kPevSessionAbortInd)
      TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** rda_aeRcv: null saoCB, P_S_ABORT.indication is dropped\n");
    else
      TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** rda_aeRcv: null saoCB, event %s is dropped\n",
               eventName(gidu, name));
    al_deleteGidu(gidu);
    return 1;
  }
  AeiCB* aei = sao->aeiCB;
  gidu->ue = aei;
  if (pev == kPevConnectCnf || pev == kPevConnectNegCnf) {
    if (aei != nullptr) aei->presRef = gidu->pe;
    sao->pconn = gidu->pc;
  }
  if (sao->saoRcv != nullptr) sao->saoRcv(gidu);
  else al_deleteGidu(gidu);
  return 1;
}

// The router has no use for the presentation layer's answer.
void rda_aeSndPpduStep(GIDU* gidu) { RDA_aeSndPpdu(gidu); }

void RDA_aeRcvIndCnf(GIDU* gidu) {
  AL_TRACE_GIDU(rda_aeTMHandle, AL_TL_ENTRY, kSrc, "RDA_aeRcvIndCnf", gidu, 1);
  if (gidu != nullptr) userEntPt(gidu);
}

// ---------------------------------------------------------------------------
// Association blocks

SaoCB* RDA_aeCreateSaoCB(GIDU* gidu, void* acb) {
  AL_TRACE_GIDU(rda_aeTMHandle, AL_TL_ENTRY, kSrc, "RDA_aeCreateSaoCB", gidu, 1);
  const AcseApdu* apdu = acseOf(gidu);
  const AcAarq* params = gidu == nullptr                    ? nullptr
                         : gidu->iduType == AL_IDU_PRES     ? al_pconnAssocParams(gidu)
                         : apdu != nullptr && apdu->code == AC_APDU_AARQ ? &apdu->aarq
                                                            : nullptr;
  auto* aei = gidu != nullptr ? static_cast<AeiCB*>(gidu->ue) : nullptr;
  SaoCB* sao = params != nullptr && aei != nullptr ? AL_createSaoCB(gidu, params) : nullptr;
  if (sao == nullptr) {
    if (params == nullptr || aei == nullptr) setError(AL_ERR_BAD_PARAM);
    TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** RDA_aeCreateSaoCB: AL_createSaoCB failed\n");
    return nullptr;
  }
  sao->acb = acb;
  sao->sacfState = 0;
  linkSao(aei, sao);
  TM_TRACE(rda_aeTMHandle, AL_TL_RESULT, kSrc, "RDA_aeCreateSaoCB: saoCB 0x%lx is created\n",
           reinterpret_cast<unsigned long>(sao));
  return sao;
}

void RDA_aeDeleteSaoCB(SaoCB* sao, AeiCB* aei) {
  TM_TRACE(rda_aeTMHandle, AL_TL_ENTRY, kSrc, "RDA_aeDeleteSaoCB called: saoCB=0x%lx, aeiCB=0x%lx\n",
           reinterpret_cast<unsigned long>(sao), reinterpret_cast<unsigned long>(aei));
  if (sao == nullptr || sao->refCount > 0) return;
  for (int32_t id = 1; sao->pctxTbl != nullptr && id < kPctxEntries; id += 2) {
    PctxEntry& e = sao->pctxTbl[id];
    if (e.ase != nullptr && e.aseId != 0 && e.aseBlock != nullptr && e.ase->release != nullptr)
      e.ase->release(e.aseBlock, 0);
    e.aseBlock = nullptr;
  }
  unlinkSao(aei != nullptr ? aei : sao->aeiCB, sao);
  const unsigned long at = reinterpret_cast<unsigned long>(sao);
  AL_deleteSaoCB(sao);
  TM_TRACE(rda_aeTMHandle, AL_TL_RESULT, kSrc, "RDA_aeDeleteSaoCB: saoCB 0x%lx is deleted\n", at);
}

uint32_t RDA_aeSaoCount(const AeiCB* aei) {
  if (aei == nullptr) return 0;
  QvWaitForSingleObject(hSerializeRdaAeMutex);
  const uint32_t n = aei->saoList.count;
  QvReleaseMutex(hSerializeRdaAeMutex);
  return n;
}

// ---------------------------------------------------------------------------
// Refusals

void RDA_aeSendAssociateReject(GIDU* gidu, AlGiduFn deliverUp, AlGiduFn sendDown, void* ref, uint32_t kind) {
  AL_TRACE_GIDU(rda_aeTMHandle, AL_TL_ENTRY, kSrc, "RDA_aeSendAssociateReject", gidu, 1);
  if (gidu == nullptr) return;
  auto* hdr = static_cast<AeHDR*>(gidu->idu);
  auto* sao = static_cast<SaoCB*>(gidu->uc);
  AcseApdu* request = acseOf(gidu);
  gidu->event = AL_A_ASSOC_CNF;
  gidu->iduType = AL_IDU_ACSE;
  if (hdr != nullptr) hdr->hdrOrigin = kOriginReject;
  auto* aare = hdr != nullptr ? static_cast<AcseApdu*>(_xm_allocItemWithTree(sizeof(AcseApdu), XM_ZERO)) : nullptr;
  XmTree* aareTree = aare != nullptr ? xm_getParentOfItem(aare) : nullptr;
  const bool named = aare != nullptr && request != nullptr && request->code == AC_APDU_AARQ &&
                     ul_objidvcpy(&aare->aare.contextName, &request->aarq.contextName, aareTree) != 0;
  if (!named) {
    TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc, "*** RDA_aeSendAssociateReject: Can't create APDU for A-Associate -cnf");
    _xm_freeTree(aareTree);
    if (ref == nullptr) AL_aeSendQuickAborts(sao, gidu, deliverUp, sendDown, RDA_ERR_NO_RESOURCE);
    AL_deleteGiduWithAeHDR(gidu);
    return;
  }
  hdr->hdrOrigin = kind;
  if (sao != nullptr) {
    hdr->pctxId = AL_cnvrtIduType(sao, AL_IDU_ACSE);
    if (hdr->pctxId == 0) {
      char name[AL_EVENT_TEXT_SIZE];
      TM_TRACE(rda_aeTMHandle, AL_TL_ERROR, kSrc,
               "*** RDA_aeSendAssociateReject: failed to get pctxid from %s with idu type 0x%x", eventName(gidu, name),
               AL_IDU_ACSE);
      _xm_freeTree(aareTree);
      AL_deleteGiduWithAeHDR(gidu);
      return;
    }
  }
  XmTree* giduTree = xm_getParentOfItem(gidu);
  _xm_moveTree(giduTree, aareTree);
  AcAare& r = aare->aare;
  aare->code = AC_APDU_AARE;
  r.presence = AC_AARE_VERSION;
  r.protocolVersion = kAcProtocolVersion1;
  r.result = AC_RESULT_REJECTED_TRANSIENT;
  r.resultSource = AC_SOURCE_PROVIDER;
  r.diagnostic = 1;
  if ((request->aarq.presence & AC_AARQ_CONN_PARAMS) != 0) {
    r.connResult.sessRequirements = request->aarq.connParams.sessRequirements;
    r.presence |= AC_AARE_CONN_RESULT;
  }
  hdr->wrapped = aare;
  XmTree* requestTree = xm_getParentOfItem(request);
  if (requestTree != giduTree) _xm_freeTree(requestTree);
  else _xm_freeItem(request);
  if (ref != nullptr) {
    AL_deleteAeHDR(gidu);
    auto* aei = static_cast<AeiCB*>(gidu->ue);
    gidu->pe = aei;
    gidu->ue = aei != nullptr ? aei->ucb : nullptr;
    gidu->pc = nullptr;
    gidu->uc = ref;
  }
  if (deliverUp == nullptr) {
    AL_deleteGiduWithAeHDR(gidu);
    return;
  }
  deliverUp(gidu);
  TM_TRACE(rda_aeTMHandle, AL_TL_ROUTE, kSrc, "RDA_aeSendAssociateReject: A-Associate -cnf is sent to the user");
}

void RDA_aeSendPconnReject(GIDU* gidu, uint32_t reason) {
  AL_TRACE_GIDU(rda_aeTMHandle, AL_TL_ENTRY, kSrc, "RDA_aeSendPconnReject", gidu, 1);
  if (gidu == nullptr) return;
  gidu->iduType = AL_IDU_PRES;
  auto* pidu = static_cast<PIDU*>(gidu->idu);
  if (pidu == nullptr) {
    al_deleteGidu(gidu);
    return;
  }
  const bool hasData = pidu->dataList.next != nullptr && pidu->dataList.next != &pidu->dataList;
  auto* first = hasData ? static_cast<DElem*>(pidu->dataList.next) : nullptr;
  auto* request = first != nullptr ? static_cast<AcseApdu*>(first->value) : nullptr;
  if (request != nullptr && request->code != AC_APDU_AARQ) request = nullptr;
  AcseApdu* aare = request != nullptr ? static_cast<AcseApdu*>(_xm_allocItem(xm_getParentOfItem(request),
                                                                               sizeof(AcseApdu), XM_ZERO))
                                      : nullptr;
  if (aare == nullptr) pidu->dataList.next = pidu->dataList.prev = &pidu->dataList;
  gidu->event = AL_EV_PRIMITIVE;
  pidu->event = kPevConnectRej;

  // The address the connection was made to answers as the responding one.
  pidu->responding.pSel.length = -1;
  pidu->responding.pSel.octets = nullptr;
  const int32_t n = pidu->local.pSel.length;
  if (n > 0 && pidu->local.pSel.octets != nullptr) {
    auto* octets = static_cast<uint8_t*>(_xm_allocItem(xm_getParentOfItem(pidu), static_cast<uint32_t>(n), 0));
    if (octets != nullptr) {
      std::copy(pidu->local.pSel.octets, pidu->local.pSel.octets + n, octets);
      pidu->responding.pSel = PSelector{n, octets};
    }
  }
  for (int32_t id = 1; id < kPiduCtxCount; id += 2) {
    if (pidu->ctxDefList[id] == -1) pidu->ctxResultList[id] = -1;
    else if (pidu->ctxResultList[id] != 1) pidu->ctxResultList[id] = 0;
  }
  if (pidu->dfltCtx != -1) pidu->dfltResult = 0;
  pidu->userError = 0;
  pidu->presRequirements = 0;

  if (aare != nullptr) {
    first->value = aare;
    first->next = first->prev = &pidu->dataList;
    pidu->dataList.next = pidu->dataList.prev = first;
    aare->code = AC_APDU_AARE;
    aare->aare.contextName = request->aarq.contextName;
    aare->aare.result = AC_RESULT_REJECTED_PERMANENT;
    aare->aare.resultSource = AC_SOURCE_USER;
    aare->aare.diagnostic = reason;
  }
  RDA_aeSndPpdu(gidu);
}
