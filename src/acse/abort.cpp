// Orderly and quick aborts of an association, and the emptying of GIDU
// queues.
#include "src/acse/abort.h"

#include "src/acse/acse_apdu.h"
#include "src/acse/al_errno.h"
#include "src/acse/al_trace.h"
#include "src/acse/gidu_queue.h"
#include "src/acse/sao.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/alabort";

struct AbortKind {
  const char* function;
  uint32_t event;
  uint32_t apduCode;
  const char* noGidu;
  const char* noContext;
  const char* noApdu;
};

constexpr AbortKind kAbortReq = {
    "AL_aeCreateAAbortReq", AL_A_ABORT_REQ, AC_APDU_ABRT,
    "AL_aeCreateAAbortReq: Can't creat GIDU for A-Abort request\n",
    "*** AL_aeCreateAAbortReq: failed to get pctxid from %s with idu type 0x%x\n",
    "AL_aeCreateAAbortReq: Can't creat APDU for A-Abort request\n"};

constexpr AbortKind kPAbortInd = {
    "AL_aeCreateAPAbortInd", AL_A_PABORT_IND, AC_APDU_PABRT,
    "*** AL_aeCreateAPAbortInd: Can't creat GIDU for A-P-Abort indication\n",
    "*** AL_aeCreateAOAbortInd: failed to get pctxid from %s with idu type 0x%x\n",
    "*** AL_aeCreateAPAbortInd: Can't creat APDU for A-P-Abort indication\n"};

// An ACSE GIDU of the kind: one header under the association's ACSE
// context, over a zeroed APDU record in a tree of its own under the GIDU's.
GIDU* createAbort(const AbortKind& kind, const GIDU* gidu, const SaoCB* sao, uint32_t origin) {
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, kind.function, gidu, 1);
  GIDU* made = AL_createGiduWithAeHDR(gidu, AL_IDU_ACSE, kind.event);
  if (made == nullptr) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "%s", kind.noGidu);
    return nullptr;
  }
  auto* hdr = static_cast<AeHDR*>(made->idu);
  hdr->hdrOrigin = origin;
  hdr->pctxId = AL_cnvrtIduType(sao, AL_IDU_ACSE);
  if (hdr->pctxId == 0) {
    if (tm_siteOn(al_comTMHandle, AL_TL_ERROR)) {
      char name[AL_EVENT_TEXT_SIZE];
      const char* e = al_traceEvent(gidu, name);
      tm_traceSite(al_comTMHandle, AL_TL_ERROR, kSrc, __LINE__, kind.noContext, e != nullptr ? e : "(null)",
                   AL_IDU_ACSE);
    }
    al_deleteGidu(made);
    return nullptr;
  }
  auto* apdu = static_cast<AcseApdu*>(_xm_allocItemWithTree(sizeof(AcseApdu), XM_ZERO));
  if (apdu == nullptr) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "%s", kind.noApdu);
    al_deleteGidu(made);
    return nullptr;
  }
  _xm_moveTree(xm_getParentOfItem(made), xm_getParentOfItem(apdu));
  apdu->code = kind.apduCode;
  hdr->wrapped = apdu;
  return made;
}

// Sends one reserved quick-abort GIDU, taken out of *slot.
void sendReserved(GIDU** slot, const GIDU* gidu, SaoCB* sao, uint32_t errNo, AlGiduFn fn, const char* line) {
  GIDU* q = *slot;
  *slot = nullptr;
  if (gidu != nullptr) {
    q->ue = gidu->ue;
    q->pe = gidu->pe;
    q->uc = gidu->uc;
    q->pc = gidu->pc;
    q->iduType = gidu->iduType;
  } else {
    q->pc = sao;
  }
  q->errNo = errNo;
  TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc, line, reinterpret_cast<unsigned long>(sao));
  fn(q);
}

}  // namespace

GIDU* AL_aeCreateAAbortReq(const GIDU* gidu, const SaoCB* sao, uint32_t origin) {
  GIDU* made = createAbort(kAbortReq, gidu, sao, origin);
  if (made != nullptr) {
    AcseApdu* apdu = static_cast<AcseApdu*>(static_cast<AeHDR*>(made->idu)->wrapped);
    apdu->abrt.source = AC_ABORT_PROVIDER;
  }
  return made;
}

GIDU* AL_aeCreateAPAbortInd(const GIDU* gidu, const SaoCB* sao, uint32_t origin) {
  return createAbort(kPAbortInd, gidu, sao, origin);
}

void AL_aeSendAAborts(SaoCB* sao, const GIDU* gidu, AlGiduFn userFn, AlGiduFn providerFn, uint32_t origin) {
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "AL_aeSendAAborts", gidu, 1);
  if (providerFn != nullptr) {
    GIDU* req = AL_aeCreateAAbortReq(gidu, sao, origin);
    if (req == nullptr) {
      TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_aeSendAAborts: Can't create A-Abort req\n");
      AL_aeSendQuickAborts(sao, gidu, userFn, providerFn, AL_ERR_NO_MEMORY);
      return;
    }
    providerFn(req);
  }
  if (userFn != nullptr) {
    GIDU* ind = AL_aeCreateAPAbortInd(gidu, sao, origin);
    if (ind == nullptr) {
      TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_aeSendAAborts: Can't create A-P-Abort ind\n");
      AL_aeSendQuickAborts(sao, gidu, userFn, nullptr, AL_ERR_NO_MEMORY);
      return;
    }
    userFn(ind);
  }
}

void AL_aeSendQuickAborts(SaoCB* sao, const GIDU* gidu, AlGiduFn userFn, AlGiduFn providerFn, uint32_t errNo) {
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "AL_aeSendQuickAborts", gidu, 1);
  if (sao == nullptr) return;
  sao->saoFlags |= SAO_DELETE_PENDING;
  TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc,
           "AL_aeSendQuickAborts: The delete pending flag is set in saoCB 0x%lx\n",
           reinterpret_cast<unsigned long>(sao));
  if (sao->qabortReq != nullptr && providerFn != nullptr)
    sendReserved(&sao->qabortReq, gidu, sao, errNo, providerFn,
                 "AL_aeSendQuickAborts: Quick Abort req is sent to provider (saoCB = 0x%lx)\n");
  if (sao->qabortInd != nullptr && userFn != nullptr)
    sendReserved(&sao->qabortInd, gidu, sao, errNo, userFn,
                 "AL_aeSendQuickAborts: Quick Abort ind is sent to user (saoCB = 0x%lx)\n");
}

void AL_aePurgeGiduQ(GIDU* queue) {
  if (queue == nullptr) return;
  if (al_queueEmpty(queue)) TM_TRACE(al_comTMHandle, AL_TL_TRIVIA, kSrc, "Queue is empty\n");
  while (GIDU* g = al_queueTake(queue)) AL_deleteGiduWithAeHDR(g);
}

void al_purgeGiduQ(GIDU* queue) {
  if (queue == nullptr) return;
  if (al_queueEmpty(queue)) TM_TRACE(al_comTMHandle, AL_TL_TRIVIA, kSrc, "al_purgeGiduQ: Queue is empty\n");
  while (GIDU* g = al_queueTake(queue)) al_deleteGidu(g);
}
