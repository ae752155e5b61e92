// The service element's actions of the RDA state tables and the local error
// and header helpers they share.
#include "src/rda/rda_aseact.h"

#include "common/timer2.h"
#include "src/acse/abort.h"
#include "src/acse/al_trace.h"
#include "src/acse/sao.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_aseint.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_trace.h"

namespace {

constexpr const char* kSrc = "src/rdaseact";

constexpr uint32_t kPDataReq = 17;  // presentation event of an APDU sent as user data

}  // namespace

SaoCB* rda_aseSaoOf(const GIDU* gidu) { return gidu != nullptr ? static_cast<SaoCB*>(gidu->uc) : nullptr; }

void rda_aseStoreNext(stateCkCB* cb, uint32_t next) {
  if (cb != nullptr && next != kRdaStateUnchanged) cb->state = next;
}

void rda_aseContinue(GIDU* gidu, bool down) {
  SaoCB* sao = rda_aseSaoOf(gidu);
  AlGiduFn entry = sao == nullptr ? nullptr : down ? sao->sacfSnd : sao->sacfRcv;
  if (entry == nullptr) {
    TM_TRACE(rda_aseTMHandle, AL_TL_ERROR, kSrc, "*** %s: no SACF entry to go on with, GIDU deleted\n",
             down ? "rda_sacfSnd" : "rda_sacfRcv");
    AL_deleteGiduWithAeHDR(gidu);
    return;
  }
  entry(gidu);
}

void rda_aseQuickAborts(GIDU* gidu, uint32_t error) {
  SaoCB* sao = rda_aseSaoOf(gidu);
  if (sao != nullptr) AL_aeSendQuickAborts(sao, gidu, sao->sacfRcv, sao->sacfSnd, error);
  AL_deleteGiduWithAeHDR(gidu);
}

RDAInit_Req* rda_aseInitRequest(const stateCkCB* cb, const GIDU* gidu) {
  void* idu = RDA_stateCkIdu(cb, gidu);
  if (idu == nullptr) return nullptr;
  if (cb->family == RdaFamily::Xopen) {
    auto* x = static_cast<RDAXOPENIdu*>(idu);
    return x->tag == RDA_INIT_RI ? &x->init_RI.req : nullptr;
  }
  auto* i = static_cast<RDAIdu*>(idu);
  return i->tag == RDA_INIT_RI ? &i->init_RI.req : nullptr;
}

int32_t RDA_aseBlank(stateCkCB*, GIDU* gidu, uint32_t) {
  AL_TRACE_GIDU(rda_aseTMHandle, AL_TL_ENTRY, kSrc, "RDA_aseBlank", gidu, 0);
  if (gidu == nullptr) return -1;
  if ((gidu->event & AL_EV_DELIVERED) != 0) {
    AL_deleteGiduWithAeHDR(gidu);
    return -1;
  }
  RDA_aseSndLocalError(gidu, RDA_ASE_ERR_BLANK_CELL);
  return 0;
}

int32_t RDA_aseA0(stateCkCB* cb, GIDU* gidu, uint32_t next) {
  char name[AL_EVENT_TEXT_SIZE] = "";
  al_traceEvent(gidu, name);
  AL_deleteGiduWithAeHDR(gidu);
  TM_TRACE(rda_aseTMHandle, AL_TL_ERROR, kSrc, "*** RDA_aseA0: %s is dropped according to the RDA Standard\n", name);
  rda_aseStoreNext(cb, next);
  return -1;
}

int32_t RDA_aseCvrtToApdu(stateCkCB* cb, GIDU* gidu, uint32_t next) {
  AL_TRACE_GIDU(rda_aseTMHandle, AL_TL_ENTRY, kSrc, "RDA_aseCvrtToApdu", gidu, 0);
  if (gidu == nullptr) return -1;
  gidu->event |= AL_EV_APDU;
  if (gidu->idu != nullptr) static_cast<AeHDR*>(gidu->idu)->hdrWord1 = kPDataReq;
  rda_aseContinue(gidu, true);
  rda_aseStoreNext(cb, next);
  return 0;
}

int32_t RDA_aseCvrtToSvc(stateCkCB* cb, GIDU* gidu, uint32_t next) {
  AL_TRACE_GIDU(rda_aseTMHandle, AL_TL_ENTRY, kSrc, "RDA_aseCvrtToSvc", gidu, 0);
  if (gidu == nullptr) return -1;
  gidu->event = (gidu->event & ~AL_EV_APDU) | AL_EV_DELIVERED;
  rda_aseContinue(gidu, false);
  rda_aseStoreNext(cb, next);
  return 0;
}

void RDA_aseSndLocalError(GIDU* gidu, uint32_t error) {
  AL_TRACE_GIDU(rda_aseTMHandle, AL_TL_ENTRY, kSrc, "RDA_aseSndLocalError", gidu, 0);
  if (gidu == nullptr) return;
  GIDU* local = AL_createLocalError(gidu, error);
  if (local == nullptr) {
    TM_TRACE(rda_aseTMHandle, AL_TL_ERROR, kSrc, "*** RDA_aseSndLocalError: can't create local error %u\n", error);
    rda_aseQuickAborts(gidu, static_cast<uint32_t>(QvGetOsiError()));
    return;
  }
  rda_aseContinue(local, false);
}

uint32_t RDA_aseResetAeHDR(GIDU* gidu) {
  if (gidu == nullptr || gidu->idu == nullptr) return 0;
  auto* hdr = static_cast<AeHDR*>(gidu->idu);
  const uint32_t ctx = AL_cnvrtIduType(rda_aseSaoOf(gidu), gidu->iduType);
  hdr->hdrWord1 = kPDataReq;
  hdr->hdrWord2 = 0;
  hdr->hdrWord3 = 0;
  hdr->hdrOrigin = 4;
  hdr->pctxId = ctx;
  hdr->hdrWord6 = 0;
  hdr->hdrWord7 = 0;
  return ctx;
}
