// The client role's actions of the service element and its action table.
#include "src/acse/al_trace.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_aseact.h"
#include "src/rda/rda_aseint.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_gidu.h"
#include "src/rda/rda_trace.h"

namespace {

constexpr const char* kSrc = "src/rdaseclt";

constexpr uint32_t kPDataReq = 17;
constexpr uint32_t kHdrOriginAse = 4;


}  // namespace

int32_t action2(stateCkCB* cb, GIDU* gidu, uint32_t next) {
  AL_TRACE_GIDU(rda_aseTMHandle, AL_TL_ENTRY, kSrc, "action2", gidu, 0);
  // The dialogue identifier's client invocation is never sent: the server
  // takes it from the association's calling AE title.
  if (RDAInit_Req* req = rda_aseInitRequest(cb, gidu)) req->mask &= ~1u;
  return RDA_aseCvrtToApdu(cb, gidu, next);
}

int32_t action11(stateCkCB* cb, GIDU* gidu, uint32_t next) {
  AL_TRACE_GIDU(rda_aseTMHandle, AL_TL_ENTRY, kSrc, "action11", gidu, 0);
  cb->rollbackOnly = 0;
  return RDA_aseCvrtToApdu(cb, gidu, next);
}

// A failed R-BeginTransaction: the error confirm goes up to the user, and
// the server, which waits for the client's answer, gets an R-Synchronize
// request (the empty alternative [2]).
int32_t action14and6(stateCkCB* cb, GIDU* gidu, uint32_t next) {
  AL_TRACE_GIDU(rda_aseTMHandle, AL_TL_ENTRY, kSrc, "action14and6", gidu, 0);
  GIDU* sync = rda_createGiduWithRdaIdu(gidu, RDA_EMPTY_EVENT, 0, nullptr);
  if (sync == nullptr) {
    TM_TRACE(rda_aseTMHandle, TM_FATAL, kSrc, "*** action14and6: Can't create R-Synchronize RI\n");
    rda_aseQuickAborts(gidu, RDA_ASE_ERR_NO_RESOURCE);
    return -1;
  }
  AeHDR* hdr = AL_createAeHDR(sync);
  if (hdr == nullptr) {
    TM_TRACE(rda_aseTMHandle, TM_FATAL, kSrc, "*** action14and6: Can't create AeHDR for R-Synchronize RI\n");
    rda_aseQuickAborts(gidu, RDA_ASE_ERR_NO_RESOURCE);
    al_deleteGidu(sync);
    return -1;
  }
  hdr->hdrWord1 = kPDataReq;
  hdr->hdrOrigin = kHdrOriginAse;
  // The request travels in the RDA context of the error response it
  // answers; without a context the presentation layer could not send it.
  const auto* received = static_cast<const AeHDR*>(gidu->idu);
  hdr->pctxId = received != nullptr ? received->pctxId : 0;

  gidu->event = (gidu->event & ~AL_EV_APDU) | AL_EV_DELIVERED;
  rda_aseContinue(gidu, false);
  rda_aseContinue(sync, true);
  rda_aseStoreNext(cb, next);
  return 0;
}

int32_t action42or50T(stateCkCB* cb, GIDU* gidu, uint32_t next) {
  AL_TRACE_GIDU(rda_aseTMHandle, AL_TL_ENTRY, kSrc, "action42or50T", gidu, 0);
  const int32_t result = RDA_aseCvrtToSvc(cb, gidu, next);
  cb->rollbackOnly = 1;
  return result;
}

namespace {

constexpr RdaStateAction Blank = RDA_aseBlank, A0 = RDA_aseA0, Apdu = RDA_aseCvrtToApdu, Svc = RDA_aseCvrtToSvc;

constexpr RdaStateAction clientActionTbl[kRdaActionCount] = {
    Blank, A0,  action2, Svc,  Apdu, Svc,  action11, Svc,  action14and6, Apdu, Svc,
    Apdu,  Svc, Apdu,    Svc,  Apdu, Svc,  Apdu,     Svc,  Apdu,         Svc,  Apdu,
    Svc,   action42or50T, Apdu, Svc, Apdu, Svc,      action42or50T, Apdu, Svc,
};

}  // namespace

const RdaStateAction* RDA_getClientActionTbl(void*) { return clientActionTbl; }
