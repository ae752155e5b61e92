// SACF flow control: user stop, provider stop, credit and triggers.
#include "src/acse/flow.h"

#include "src/acse/abort.h"
#include "src/acse/al_errno.h"
#include "src/acse/al_trace.h"
#include "src/acse/gidu_queue.h"
#include "src/acse/sacf.h"
#include "src/acse/sao.h"
#include "src/presentation/pidu.h"

namespace {

constexpr const char* kSrc = "src/alflow";

// Presentation events (the presentation layer's numbering).
constexpr uint32_t kPevReceiveReq = 19;
constexpr uint32_t kPevUserAbortReq = 22;
constexpr uint32_t kPevDataCnf = 93;
constexpr uint32_t kPevFlowControlInd = 94;

// One word per indication or confirm 76-113; bit 0 marks those that close
// the connection, after which no credit is asked for.
constexpr uint32_t kPpduFirst = 76;
constexpr uint32_t ppduTBL[38] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1 /* 87 PEXRPT.ind */, 1 /* 88 UEXRPT.ind */, 0, 0,
    1 /* 91 CONN.-cnf */, 0, 0, 0, 0, 0, 0, 1 /* 98 PABRT.ind */, 1 /* 99 UABRT.ind */,
    1 /* 100 SABRT.ind */, 1 /* 101 PDABRT.ind */, 0, 1 /* 103 RLSE.+cnf */, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

bool closing(uint32_t pev) { return pev >= kPpduFirst && pev - kPpduFirst < 38 && (ppduTBL[pev - kPpduFirst] & 1) != 0; }

SaoCB* saoOf(const GIDU* gidu) { return static_cast<SaoCB*>(gidu->uc); }

PIDU* piduOf(const GIDU* gidu) {
  return gidu->iduType == AL_IDU_PRES ? static_cast<PIDU*>(gidu->idu) : nullptr;
}

// Only memory can fail here; the association ends.
void noMemory(SaoCB* sao, const GIDU* gidu) {
  TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** No memory\n");
  AL_aeSendQuickAborts(sao, gidu, sao->sacfRcv, sao->sacfSnd, AL_ERR_NO_MEMORY);
}

// Grants credit up to AL_creditHigh in the presentation GIDU and passes it
// on down.
void creditSnd(GIDU* gidu) {
  SaoCB* sao = saoOf(gidu);
  TM_TRACE(al_comTMHandle, AL_TL_ROUTE, kSrc, "CreditSnd: old # credits=%d\n", sao->credit);
  if (PIDU* pidu = piduOf(gidu)) {
    if (sao->credit < AL_creditHigh) {
      pidu->credit = static_cast<uint32_t>(AL_creditHigh - sao->credit);
      sao->credit = AL_creditHigh;
    } else {
      pidu->credit = 0;
    }
    TM_TRACE(al_comTMHandle, AL_TL_ROUTE, kSrc, "CreditSnd: credits issued =%d\n", static_cast<int32_t>(pidu->credit));
  }
  AL_sacfRoute(gidu, AL_SACF_NEXT);
}

// Sends a presentation GIDU down at once from a handler of the receive
// chain: the route index is turned to the twin's successor and back.
void sendDownNow(SaoCB* sao, GIDU* gidu) {
  AL_sacfRouteSet(sao, AL_SACF_REVERSE);
  creditSnd(gidu);
  AL_sacfRouteSet(sao, AL_SACF_REVERSE);
}

void triggerRcv(SaoCB* sao) {
  if (sao->triggerArmed == 0) return;
  // While the triggers run, the route index is the send chain's service
  // element, so that what a trigger routine sends goes on down from there.
  AL_sacfRouteSet(sao, AL_SACF_REVERSE_BACK);
  for (int32_t id = 1; sao->pctxTbl != nullptr && id < kPctxEntries; id += 2) {
    PctxEntry& entry = sao->pctxTbl[id];
    if (entry.trigger == 0) continue;
    entry.trigger = 0;
    if (entry.ase != nullptr && entry.ase->trigger != nullptr) entry.ase->trigger(entry.aseBlock);
  }
  sao->triggerArmed = 0;
  AL_sacfRouteSet(sao, AL_SACF_REVERSE_BACK);
}

void triggerSnd(GIDU* gidu) {
  const auto* hdr = static_cast<const AeHDR*>(gidu->idu);
  if (hdr->hdrWord3 == 0) return;
  SaoCB* sao = saoOf(gidu);
  sao->triggerArmed = 1;
  if (sao->pctxTbl != nullptr && hdr->pctxId < static_cast<uint32_t>(kPctxEntries)) sao->pctxTbl[hdr->pctxId].trigger = 1;
}

void uStopSnd(GIDU* gidu) {
  SaoCB* sao = saoOf(gidu);
  if (sao->cvrtApdu == nullptr) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_sacfUStopSnd: no APDU conversion\n");
    AL_deleteGiduWithAeHDR(gidu);
    return;
  }
  GIDU* ring = sao->cvrtApdu(gidu);
  while (ring != nullptr) {
    GIDU* p = al_ringTake(&ring);
    const PIDU* pidu = piduOf(p);
    if (pidu != nullptr && pidu->event == kPevUserAbortReq) {
      // An abort ends the connection: it is never held back behind data a
      // stopped peer does not take, and no confirm will answer it.
      creditSnd(p);
      continue;
    }
    if (sao->uStopped != 0) {
      al_queueAppend(&sao->uStopQueue, p);
      continue;
    }
    if (sao->outstanding++ == AL_uStopHigh) {
      sao->uStopped = 1;
      if (GIDU* stop = al_createGidu(p, AL_IDU_NONE, AL_USTOP_IND)) {
        AL_sacfRoute(stop, AL_SACF_QUEUE_REVERSED);
        TM_TRACE(al_comTMHandle, AL_TL_ROUTE, kSrc, "USER STOP.ind issued\n");
      } else {
        noMemory(sao, p);
      }
    }
    creditSnd(p);
  }
}

void pStopSnd(GIDU* gidu) {
  SaoCB* sao = saoOf(gidu);
  if (gidu->event == AL_PSTOP_REQ) {
    sao->pStopped = 1;
  } else {
    sao->pStopped = 0;
    while (sao->pStopCount > 0) {
      GIDU* held = al_queueTake(&sao->pStopQueue);
      if (held == nullptr) break;
      --sao->pStopCount;
      AL_sacfRoute(held, AL_SACF_QUEUE_REVERSED);
    }
  }
  AL_deleteGiduWithAeHDR(gidu);
}

void creditRcv(GIDU* gidu, const PIDU* pidu) {
  SaoCB* sao = saoOf(gidu);
  const int32_t old = sao->credit;
  sao->credit = static_cast<int32_t>(pidu->credit);
  TM_TRACE(al_comTMHandle, AL_TL_ROUTE, kSrc, "CreditRcv: old # credits=%d, new # credits=%d\n", old, sao->credit);
  if (sao->credit >= AL_creditLow || closing(pidu->event)) return;
  GIDU* rcv = al_createGiduWithPidu(gidu, AL_IDU_PRES, AL_EV_PRIMITIVE);
  if (rcv == nullptr) {
    noMemory(sao, gidu);
    return;
  }
  static_cast<PIDU*>(rcv->idu)->event = kPevReceiveReq;
  TM_TRACE(al_comTMHandle, AL_TL_ROUTE, kSrc, "Issuing P-RECEIVE.req w/credits=%d\n", AL_creditHigh - sao->credit);
  sendDownNow(sao, rcv);
}

void uStopRcv(GIDU* gidu) {
  SaoCB* sao = saoOf(gidu);
  // Only the requests this layer counted are waited for.
  if (sao->outstanding > 0) --sao->outstanding;
  if (sao->uStopped == 0) return;
  if (GIDU* held = al_queueTake(&sao->uStopQueue)) {
    sendDownNow(sao, held);
    ++sao->outstanding;
  }
  if (sao->outstanding < AL_uStopLow && al_queueEmpty(&sao->uStopQueue)) {
    sao->uStopped = 0;
    if (GIDU* start = al_createGidu(gidu, AL_IDU_NONE, AL_USTART_IND)) AL_sacfRoute(start, AL_SACF_NEXT);
    else noMemory(sao, gidu);
  }
}

void pStopRcv(GIDU* gidu) {
  SaoCB* sao = saoOf(gidu);
  if (sao->cvrtPpdu == nullptr) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_sacfPStopRcv: no PPDU conversion\n");
    al_deleteGidu(gidu);
    return;
  }
  GIDU* ring = sao->cvrtPpdu(gidu);
  if (ring == nullptr) return;
  if (sao->pStopped == 0) {
    while (ring != nullptr) AL_sacfRoute(al_ringTake(&ring), AL_SACF_NEXT);
    return;
  }
  const int32_t old = sao->pStopCount;
  sao->pStopCount += static_cast<int32_t>(al_ringCount(ring));
  al_queueAppend(&sao->pStopQueue, ring);
  if (sao->pStopCount > AL_pStopThreshold && old <= AL_pStopThreshold)
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_sacfPstopRcv(): PROVIDER STOP Q overflow\n");
}

}  // namespace

void AL_sacfFlowSnd(GIDU* gidu) {
  if (saoOf(gidu) == nullptr) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_sacfFlowSnd: no SaoCB\n");
    AL_deleteGiduWithAeHDR(gidu);
    return;
  }
  if (!al_isPrimitive(gidu->event)) {
    pStopSnd(gidu);
    return;
  }
  if (gidu->idu != nullptr && gidu->iduType != AL_IDU_PRES) triggerSnd(gidu);
  uStopSnd(gidu);
}

void AL_sacfFlowRcv(GIDU* gidu) {
  if (saoOf(gidu) == nullptr) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_sacfFlowRcv: no SaoCB\n");
    al_deleteGidu(gidu);
    return;
  }
  const PIDU* pidu = al_isPrimitive(gidu->event) ? piduOf(gidu) : nullptr;
  if (pidu == nullptr) {
    // A local error (or anything else that is no presentation primitive)
    // passes on unchanged.
    AL_sacfRoute(gidu, AL_SACF_NEXT);
    return;
  }
  creditRcv(gidu, pidu);
  switch (pidu->event) {
    case kPevFlowControlInd:
      TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_sacfFlowRcv(): P-FLOW-CONTROL rcv'd, credit=%d\n",
               static_cast<int32_t>(pidu->credit));
      al_deleteGidu(gidu);
      break;
    case kPevDataCnf:
      triggerRcv(saoOf(gidu));
      uStopRcv(gidu);
      al_deleteGidu(gidu);
      break;
    default:
      pStopRcv(gidu);
      break;
  }
}
