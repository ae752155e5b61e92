// The single-association object: the entries of an association's SaoCB,
// which serialise its GIDUs in both directions and delete the block once it
// is delete pending and no pass holds it.
#include "common/timer2.h"
#include "src/acse/abort.h"
#include "src/acse/acse_apdu.h"
#include "src/acse/al_trace.h"
#include "src/acse/gidu_queue.h"
#include "src/acse/sao.h"
#include "src/presentation/pidu.h"
#include "src/rda/rda_ae.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_sacf.h"
#include "src/rda/rda_trace.h"

namespace {

constexpr const char* kSrc = "src/rda_sao";

// Where a GIDU waiting in the SAO goes: kept in its uc until the SACF
// takes it.
constexpr uintptr_t kToProvider = 0;
constexpr uintptr_t kToUser = 4;

constexpr uint32_t kOriginSacf = 3;
constexpr uint32_t kOriginReject = 9;

// Presentation events.
constexpr uint32_t kPevUserAbortReq = 22;
constexpr uint32_t kPevConnectInd = 89;
constexpr uint32_t kPevConnectCnf = 90;
constexpr uint32_t kPevProviderAbortInd = 98;

// The diagnostic a refused P-CONNECT carries when an element cannot take
// part in the association: the ACSE user diagnostics run from 0 to 14, and
// 1 is "no reason given".
constexpr uint32_t kNoReasonGiven = 1;

// The AE's downward exit as a routine of the abort senders.
void downExit(GIDU* g) {
  auto* sao = static_cast<SaoCB*>(g->uc);
  if (sao != nullptr && sao->aeDown != nullptr) sao->aeDown(g);
  else al_deleteGidu(g);
}

// Asks every element of the association for its block; false when one
// refuses.
bool establishElements(SaoCB* sao) {
  for (int32_t id = 1; sao->pctxTbl != nullptr && id < kPctxEntries; id += 2) {
    PctxEntry& e = sao->pctxTbl[id];
    if (e.ase == nullptr || e.aseId == 0 || e.ase->establish == nullptr) continue;
    e.aseBlock = e.ase->establish();
    if (e.aseBlock == nullptr) return false;
  }
  return true;
}

// The first data element's ACSE APDU of a presentation GIDU.
const AcseApdu* firstApdu(const GIDU* g) {
  const auto* pidu = static_cast<const PIDU*>(g->idu);
  if (pidu == nullptr || pidu->dataList.next == nullptr || pidu->dataList.next == &pidu->dataList) return nullptr;
  return static_cast<const AcseApdu*>(static_cast<const DElem*>(pidu->dataList.next)->value);
}

// A P-U-ABORT request down and a P-P-ABORT indication up for an
// association whose confirm could not be taken in; the GIDU goes.
void sendPUAborts(GIDU* g, SaoCB* sao) {
  GIDU* req = al_createGiduWithPidu(g, AL_IDU_PRES, AL_EV_PRIMITIVE);
  bool sentDown = false;
  if (req != nullptr) {
    static_cast<PIDU*>(req->idu)->event = kPevUserAbortReq;
    downExit(req);
    sentDown = true;
  } else {
    TM_TRACE(rda_saoTMHandle, AL_TL_ERROR, kSrc, "*** sendPUAborts: can't create P-U-ABORT request\n");
  }
  GIDU* ind = sentDown ? al_createGiduWithPidu(g, AL_IDU_PRES, AL_EV_PRIMITIVE) : nullptr;
  if (ind != nullptr) {
    static_cast<PIDU*>(ind->idu)->event = kPevProviderAbortInd;
    sao->sacfRcv(ind);
  } else {
    if (sentDown) TM_TRACE(rda_saoTMHandle, AL_TL_ERROR, kSrc, "*** sendPUAbort: can't create P-P-Abort indication\n");
    AL_aeSendQuickAborts(sao, g, sao->sacfRcv, sentDown ? nullptr : downExit, RDS_SAO_ERR_NO_RESOURCE);
  }
  al_deleteGidu(g);
}

// Runs the GIDU (and whatever queues behind it) through the SACF, or queues
// it while a pass of the SAO runs.
void saoPass(SaoCB* sao, GIDU* g, uintptr_t direction) {
  if (g->event == AL_QABORT) sao->saoFlags &= ~SAO_SAO_BUSY;
  g->uc = reinterpret_cast<void*>(direction);
  if ((sao->saoFlags & SAO_SAO_BUSY) != 0) {
    al_queueAppend(&sao->saoQueue, g);
    return;
  }
  sao->saoFlags |= SAO_SAO_BUSY;
  AL_refSaoCB(sao);
  for (GIDU* cur = g; cur != nullptr; cur = al_queueTake(&sao->saoQueue)) {
    const bool up = reinterpret_cast<uintptr_t>(cur->uc) == kToUser;
    cur->uc = sao;
    AlGiduFn entry = up ? sao->sacfRcv : sao->sacfSnd;
    if (entry != nullptr) entry(cur);
    else AL_deleteGiduWithAeHDR(cur);
  }
  sao->saoFlags &= ~SAO_SAO_BUSY;
  AL_derefSaoCB(sao);
}

void deleteIfPending(SaoCB* sao) {
  if ((sao->saoFlags & SAO_DELETE_PENDING) == 0) return;
  TM_TRACE(rda_saoTMHandle, AL_TL_RESULT, kSrc, "rda_saoRcv: delete pending flag is on for saoCB 0x%lx\n",
           reinterpret_cast<unsigned long>(sao));
  RDA_aeDeleteSaoCB(sao, sao->aeiCB);
}

// The checks both entries make first; false when the GIDU was dropped.
bool admit(GIDU* g, SaoCB* sao, const char* fn) {
  if (sao == nullptr) {
    TM_TRACE(rda_saoTMHandle, AL_TL_ERROR, kSrc, "*** %s: no saoCB\n", fn);
    AL_deleteGiduWithAeHDR(g);
    return false;
  }
  if ((sao->saoFlags & SAO_DELETE_PENDING) != 0) {
    TM_TRACE(rda_saoTMHandle, AL_TL_ERROR, kSrc, "*** %s: can't accept when saoCB is to be deleted\n", fn);
    AL_deleteGiduWithAeHDR(g);
    return false;
  }
  return true;
}

}  // namespace

void rda_saoSnd(GIDU* gidu) {
  AL_TRACE_GIDU(rda_saoTMHandle, AL_TL_ENTRY, kSrc, "rda_saoSnd", gidu, 1);
  if (gidu == nullptr) return;
  auto* sao = static_cast<SaoCB*>(gidu->uc);
  if (!admit(gidu, sao, "rda_saoSnd")) return;
  if (al_isPrimitive(gidu->event) && gidu->iduType != AL_IDU_PRES) {
    const uint32_t id = gidu->idu != nullptr ? AL_cnvrtIduType(sao, gidu->iduType) : 0;
    if (id == 0) {
      char name[AL_EVENT_TEXT_SIZE];
      const char* e = al_traceEvent(gidu, name);
      TM_TRACE(rda_saoTMHandle, AL_TL_ERROR, kSrc, "*** rda_saoSnd: failed to get pctxid from %s\n",
               e != nullptr ? e : "(null)");
      AL_deleteGiduWithAeHDR(gidu);
      return;
    }
    static_cast<AeHDR*>(gidu->idu)->pctxId = id;
  }
  const AeHDR* hdr = gidu->iduType == AL_IDU_ACSE ? static_cast<const AeHDR*>(gidu->idu) : nullptr;
  const auto* apdu = hdr != nullptr ? static_cast<const AcseApdu*>(hdr->wrapped) : nullptr;
  if (hdr != nullptr && gidu->event == AL_A_ASSOC_REQ) {
    if (!establishElements(sao)) {
      sao->saoFlags |= SAO_DELETE_PENDING;
      RDA_aeSendAssociateReject(gidu, sao->aeUp, sao->sacfSnd, nullptr, kOriginReject);
      deleteIfPending(sao);
      return;
    }
  } else if (gidu->event == AL_A_ASSOC_RSP && apdu != nullptr && apdu->code == AC_APDU_AARE &&
             apdu->aare.result == AC_RESULT_ACCEPTED) {
    if (AL_updateSaoCB(gidu, &apdu->aare) == 0) {
      TM_TRACE(rda_saoTMHandle, AL_TL_ERROR, kSrc, "*** rda_saoSnd: failed to update saoCB\n");
      AL_aeSendAAborts(sao, gidu, sao->sacfRcv, sao->sacfSnd, kOriginSacf);
      AL_deleteGiduWithAeHDR(gidu);
      deleteIfPending(sao);
      return;
    }
  }
  saoPass(sao, gidu, kToProvider);
  deleteIfPending(sao);
}

void rda_saoRcv(GIDU* gidu) {
  AL_TRACE_GIDU(rda_saoTMHandle, AL_TL_ENTRY, kSrc, "rda_saoRcv", gidu, 1);
  if (gidu == nullptr) return;
  auto* sao = static_cast<SaoCB*>(gidu->uc);
  if (!admit(gidu, sao, "rda_saoRcv")) return;
  const auto* pidu = gidu->iduType == AL_IDU_PRES ? static_cast<const PIDU*>(gidu->idu) : nullptr;
  if (pidu != nullptr && pidu->event == kPevConnectInd) {
    if (!establishElements(sao)) {
      // The number stays for the trace and the caller; the peer gets a
      // diagnostic of the ACSE user range.
      TM_TRACE(rda_saoTMHandle, AL_TL_ERROR, kSrc, "*** rda_saoRcv: element refused the association (0x%x)\n",
               RDA_SAO_ERR_ASE_ESTAB_FAILED);
      QvSetOsiError(static_cast<int32_t>(RDA_SAO_ERR_ASE_ESTAB_FAILED));
      sao->saoFlags |= SAO_DELETE_PENDING;
      RDA_aeSendPconnReject(gidu, kNoReasonGiven);
      deleteIfPending(sao);
      return;
    }
  } else if (pidu != nullptr && pidu->event == kPevConnectCnf) {
    const AcseApdu* apdu = firstApdu(gidu);
    if (apdu != nullptr && apdu->code == AC_APDU_AARE && AL_updateSaoCB(gidu, &apdu->aare) == 0) {
      TM_TRACE(rda_saoTMHandle, AL_TL_ERROR, kSrc, "*** rda_saoRcv: failed to update saoCB\n");
      sendPUAborts(gidu, sao);
      deleteIfPending(sao);
      return;
    }
  }
  saoPass(sao, gidu, kToUser);
  deleteIfPending(sao);
}

int32_t rda_saoInit() {
  QvSetOsiError(0);
  return rda_sacfInit();
}

int32_t rda_saoTerm() {
  QvSetOsiError(0);
  return rda_sacfTerm();
}

int32_t rda_saoStart() {
  TM_TRACE(rda_saoTMHandle, AL_TL_ENTRY, kSrc, "rda_saoStart() called, SaoCB = %x\n", 0u);
  return 1;
}
