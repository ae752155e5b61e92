// SACF route stepping and the hand-over of GIDUs to their service elements.
#include "src/acse/sacf.h"

#include "common/timer2.h"
#include "src/acse/abort.h"
#include "src/acse/al_errno.h"
#include "src/acse/al_trace.h"
#include "src/acse/gidu_queue.h"
#include "src/acse/sao.h"
#include "src/presentation/pidu.h"

namespace {

constexpr const char* kSrc = "src/alsacf";

// Presentation events that the ACSE element handles as such.
constexpr uint32_t kPevConnNegCnf = 91;
constexpr uint32_t kPevTokenGiveInd = 96;
constexpr uint32_t kPevProviderAbortInd = 98;
constexpr uint32_t kPevUserAbortInd = 99;

void drop(GIDU* gidu, const char* why) {
  if (tm_siteOn(al_comTMHandle, AL_TL_ERROR)) {
    char name[AL_EVENT_TEXT_SIZE];
    tm_traceSite(al_comTMHandle, AL_TL_ERROR, kSrc, __LINE__, "*** %s, %s deleted\n", why, al_traceEvent(gidu, name));
  }
  AL_deleteGiduWithAeHDR(gidu);
}

// To the SACF's own send or receive entry, which queues it to continue with
// the next element of the running pass.
void toSacf(AlGiduFn entry, GIDU* gidu) {
  if (entry != nullptr) entry(gidu);
  else drop(gidu, "no SACF entry");
}

// Calls the send or receive entry of the element that owns context `ctx`.
// A context outside 1-31, or one that names no element of the association
// (or an element without that entry), ends the association.
void dispatch(GIDU* gidu, SaoCB* sao, int64_t ctx, bool send) {
  PctxEntry* tbl = sao->pctxTbl;
  PctxEntry* entry = tbl != nullptr && ctx >= 1 && ctx < kPctxEntries ? &tbl[ctx] : nullptr;
  AseEntryFn fn = nullptr;
  if (entry != nullptr && entry->ase != nullptr) fn = send ? entry->ase->send : entry->ase->receive;
  if (fn == nullptr) {
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** %s: no service element for context %ld\n",
             send ? "AL_sacfAseSnd" : "AL_sacfAseRcv", static_cast<long>(ctx));
    AL_aeSendQuickAborts(sao, gidu, sao->sacfRcv, sao->sacfSnd, sao->badContextError);
    AL_deleteGiduWithAeHDR(gidu);
    return;
  }
  sao->curAseBlock = entry->aseBlock;
  fn(gidu, tbl, entry->aseBlock, sao);
}

}  // namespace

int32_t AL_sacfRouteSet(SaoCB* sao, int32_t how) {
  TM_TRACE(al_comTMHandle, AL_TL_ENTRY, kSrc, "AL_sacfRouteSet()\n");
  if (sao == nullptr) {
    QvSetOsiError(static_cast<int32_t>(AL_ERR_BAD_PARAM));
    return 0;
  }
  const int32_t last = sao->lastRouteIdx;
  switch (how) {
    case AL_SACF_RCV_START: sao->routeIdx = 0; break;
    case AL_SACF_SND_START: sao->routeIdx = 1; break;
    case AL_SACF_REVERSE: sao->routeIdx = last - sao->routeIdx + 2; break;
    case AL_SACF_REVERSE_BACK: sao->routeIdx = last - sao->routeIdx - 2; break;
    case AL_SACF_STEP_BACK: sao->routeIdx -= 2; break;
    default:
      QvSetOsiError(static_cast<int32_t>(AL_ERR_ROUTE_HOW));
      return 0;
  }
  return 1;
}

void AL_sacfRoute(GIDU* gidu, int32_t how) {
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "AL_sacfRoute", gidu, 1);
  if (gidu == nullptr) return;
  auto* sao = static_cast<SaoCB*>(gidu->uc);
  if (sao == nullptr) {
    drop(gidu, "AL_sacfRoute: no SaoCB");
    return;
  }
  const int32_t i = sao->routeIdx;
  if (how == AL_SACF_NEXT) {
    AlGiduFn handler = sao->routeTbl != nullptr && i >= 0 && i <= sao->lastRouteIdx ? sao->routeTbl[i] : nullptr;
    if (handler == nullptr) {
      TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_sacfRoute: no handler at route index %d\n", i);
      drop(gidu, "AL_sacfRoute");
      return;
    }
    sao->routeIdx = i + 2;
    handler(gidu);
    sao->routeIdx = i;
  } else if (how == AL_SACF_QUEUE_REVERSED) {
    sao->routeIdx = sao->lastRouteIdx - i + 2;
    AL_sacfRouteQ(gidu);
    sao->routeIdx = i;
  }
}

void AL_sacfRouteQ(GIDU* gidu) {
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "AL_sacfRouteQ", gidu, 1);
  if (gidu == nullptr) return;
  auto* sao = static_cast<SaoCB*>(gidu->uc);
  if (sao == nullptr) {
    drop(gidu, "AL_sacfRouteQ: no SaoCB");
    return;
  }
  gidu->uc = reinterpret_cast<void*>(static_cast<intptr_t>(sao->routeIdx));
  al_queueAppend(&sao->sacfQueue, gidu);
}

GIDU* AL_sacfRouteDQ(SaoCB* sao) {
  TM_TRACE(al_comTMHandle, AL_TL_ENTRY, kSrc, "AL_sacfRouteDQ()\n");
  GIDU* gidu = sao != nullptr ? al_queueTake(&sao->sacfQueue) : nullptr;
  if (gidu == nullptr) {
    TM_TRACE(al_comTMHandle, AL_TL_TRIVIA, kSrc, "SACF event queue is empty\n");
    return nullptr;
  }
  sao->routeIdx = static_cast<int32_t>(reinterpret_cast<intptr_t>(gidu->uc));
  gidu->uc = sao;
  return gidu;
}

void AL_sacfAseSnd(GIDU* gidu) {
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "AL_sacfAseSnd", gidu, 1);
  auto* sao = static_cast<SaoCB*>(gidu->uc);
  if (sao == nullptr) {
    drop(gidu, "AL_sacfAseSnd: no SaoCB");
    return;
  }
  if (al_isPrimitive(gidu->event) && gidu->iduType != AL_IDU_PRES_RCV && gidu->idu != nullptr) {
    const int64_t ctx = gidu->iduType == AL_IDU_PRES ? 0 : static_cast<AeHDR*>(gidu->idu)->pctxId;
    dispatch(gidu, sao, ctx, true);
  } else {
    toSacf(sao->sacfSnd, gidu);
  }
}

void AL_sacfAseRcv(GIDU* gidu) {
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "AL_sacfAseRcv", gidu, 1);
  auto* sao = static_cast<SaoCB*>(gidu->uc);
  if (sao == nullptr) {
    drop(gidu, "AL_sacfAseRcv: no SaoCB");
    return;
  }
  if (!al_isPrimitive(gidu->event)) {
    toSacf(sao->sacfRcv, gidu);
    return;
  }
  int64_t ctx = 0;
  if (gidu->iduType == AL_IDU_PRES_RCV) {
    // An undecoded presentation primitive: the ACSE element handles a
    // refused connection and a provider or user abort (one without user
    // data, as any peer's bare P-U-ABORT comes); a token given with user data
    // goes to the element of that data's context. Anything else bypasses
    // the elements.
    const auto* hdr = static_cast<const AeHDR*>(gidu->idu);
    const auto* pidu = hdr != nullptr ? static_cast<const PIDU*>(hdr->wrapped) : nullptr;
    const uint32_t pev = pidu != nullptr ? pidu->event : 0;
    const auto* first = pidu != nullptr && pidu->dataList.next != &pidu->dataList
                            ? static_cast<const DElem*>(pidu->dataList.next)
                            : nullptr;
    if (pev == kPevConnNegCnf || pev == kPevProviderAbortInd || pev == kPevUserAbortInd) {
      ctx = AL_cnvrtIduType(sao, AL_IDU_ACSE);
    } else if (pev == kPevTokenGiveInd && first != nullptr && first->value != nullptr) {
      ctx = first->pctxId;
    } else {
      toSacf(sao->sacfRcv, gidu);
      return;
    }
  } else if (gidu->idu != nullptr && gidu->iduType != AL_IDU_PRES) {
    ctx = static_cast<AeHDR*>(gidu->idu)->pctxId;
  }
  dispatch(gidu, sao, ctx, false);
}
