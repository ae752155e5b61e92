// The server role's actions of the service element and its action table.
#include <cstddef>

#include "src/acse/al_trace.h"
#include "src/acse/sao.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_aseact.h"
#include "src/rda/rda_aseint.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_trace.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdasesrv";

constexpr size_t kIduSize = sizeof(RDAIdu) > sizeof(RDAXOPENIdu) ? sizeof(RDAIdu) : sizeof(RDAXOPENIdu);

// Every request record begins with its operation id, at one place in both
// families.
constexpr size_t kRequestOpId = offsetof(RDAIdu, init_RI.opId);
static_assert(offsetof(RDAIdu, dropDBL_RI.opId) == kRequestOpId && offsetof(RDAIdu, bgnTrans_RI.opId) == kRequestOpId &&
              offsetof(RDAXOPENIdu, init_RI.opId) == kRequestOpId &&
              offsetof(RDAXOPENIdu, commit_RI.opId) == kRequestOpId);

int32_t requestOpId(const void* idu) {
  return idu != nullptr ? *reinterpret_cast<const int32_t*>(static_cast<const char*>(idu) + kRequestOpId) : 0;
}

// Frees a received IDU: the tree of its own that holds it, or the item.
void freeIdu(void* idu, const GIDU* gidu) {
  if (idu == nullptr) return;
  XmTree* tree = xm_getParentOfItem(idu);
  if (tree != nullptr && tree != xm_getParentOfItem(const_cast<GIDU*>(gidu))) _xm_freeTree(tree);
  else _xm_freeItem(idu);
}

}  // namespace

// A request the current state does not allow: answered with the error
// response of its service carrying the invalid-sequence error and, where
// the state has one, its diagnostic. The state stays.
int32_t action1(stateCkCB* cb, GIDU* gidu, uint32_t) {
  AL_TRACE_GIDU(rda_aseTMHandle, AL_TL_ENTRY, kSrc, "action1", gidu, 0);
  const int32_t diag = RDA_getServerInvSeqInfo(cb, gidu);
  const uint32_t code = (gidu->event & AL_EV_CODE_MASK) | AL_EV_PRIMITIVE;
  const uint32_t service = al_serviceOf(code);
  auto* hdr = static_cast<AeHDR*>(gidu->idu);
  if (service >= kRdaServiceCount || code != (rdaRequestEvent(service) | AL_EV_APDU) || hdr == nullptr) {
    char name[AL_EVENT_TEXT_SIZE] = "";
    TM_TRACE(rda_aseTMHandle, AL_TL_ERROR, kSrc, "*** action1: Invalid input event %s for action1, event is dropped\n",
             al_traceEvent(gidu, name));
    AL_deleteGiduWithAeHDR(gidu);
    return -1;
  }
  XmTree* tree = _xm_allocTree(xm_getParentOfItem(gidu));
  void* idu = tree != nullptr ? _xm_allocItem(tree, static_cast<uint32_t>(kIduSize), XM_ZERO) : nullptr;
  if (idu == nullptr) {
    char name[AL_EVENT_TEXT_SIZE] = "";
    TM_TRACE(rda_aseTMHandle, TM_FATAL, kSrc, "*** action1: Can't create invalidSequence error RC for %s\n",
             al_traceEvent(gidu, name));
    rda_aseQuickAborts(gidu, RDA_ASE_ERR_NO_RESOURCE);
    if (tree != nullptr) _xm_freeTree(tree);
    return -1;
  }
  const RdaEventCode error = rdaErrorEvent(service);
  *static_cast<uint32_t*>(idu) = rda_getRdaEventTag(error);
  // The fields of the error record lie differently per service and family;
  // they are written through the record of the association's family.
  RdaRcFields f{};
  rda_rcFields(idu, cb->family, &f);
  *f.opId = requestOpId(hdr->wrapped);
  if (f.outcome != nullptr) *f.outcome = RDA_OUTCOME_ERROR;
  f.error->code = RDA_ERR_INV_SEQUENCE;
  if (diag > 0) f.error->invSequence = RDAInvSequence{1, diag};

  freeIdu(hdr->wrapped, gidu);
  hdr->wrapped = idu;
  gidu->event = (gidu->event & ~AL_EV_CODE_MASK) | ((error | AL_EV_APDU) & AL_EV_CODE_MASK);
  RDA_aseResetAeHDR(gidu);
  rda_aseContinue(gidu, true);
  return 0;
}

// The R-Initialize request gets the dialogue identifier's client
// invocation from the calling AE title of the association.
int32_t action3(stateCkCB* cb, GIDU* gidu, uint32_t next) {
  AL_TRACE_GIDU(rda_aseTMHandle, AL_TL_ENTRY, kSrc, "action3", gidu, 0);
  RDAInit_Req* req = rda_aseInitRequest(cb, gidu);
  const SaoCB* sao = rda_aseSaoOf(gidu);
  if (req != nullptr && sao != nullptr) {
    RDADlgIDClientInvoc& client = req->client;
    req->mask |= 1u;
    client.apTitle.kind = UL_TITLE_OBJID;
    client.aeQual.kind = UL_QUAL_INTEGER;
    const UL_APTitle& title = sao->peerTitle;
    const uint32_t n = title.kind == UL_TITLE_OBJID && title.objId.arcs != nullptr ? title.objId.count : 0;
    if (n >= 1) client.aeQual.integer = title.objId.arcs[n - 1];
    if (n >= 2) {
      auto* arcs = static_cast<uint32_t*>(
          _xm_allocItem(xm_getParentOfItem(RDA_stateCkIdu(cb, gidu)), (n - 1) * sizeof(uint32_t), 0));
      if (arcs == nullptr) {
        TM_TRACE(rda_aseTMHandle, TM_FATAL, kSrc, "*** action3: can't create apTitle\n");
        rda_aseQuickAborts(gidu, RDA_ASE_ERR_NO_RESOURCE);
        return -1;
      }
      for (uint32_t i = 0; i + 1 < n; ++i) arcs[i] = title.objId.arcs[i];
      client.apTitle.objId = ObjIdV{n - 1, arcs};
    }
    if ((sao->idFlags & SAO_ID_AEINVOKE) != 0) client.aeInvokeId = static_cast<int32_t>(sao->peerAeInvoke);
    if ((sao->idFlags & SAO_ID_APINVOKE) != 0) client.apInvokeId = static_cast<int32_t>(sao->peerApInvoke);
  }
  return RDA_aseCvrtToSvc(cb, gidu, next);
}

int32_t action12(stateCkCB* cb, GIDU* gidu, uint32_t next) {
  AL_TRACE_GIDU(rda_aseTMHandle, AL_TL_ENTRY, kSrc, "action12", gidu, 0);
  const int32_t result = RDA_aseCvrtToSvc(cb, gidu, next);
  cb->rollbackOnly = 0;
  return result;
}

int32_t action41or49T(stateCkCB* cb, GIDU* gidu, uint32_t next) {
  AL_TRACE_GIDU(rda_aseTMHandle, AL_TL_ENTRY, kSrc, "action41or49T", gidu, 0);
  const int32_t result = RDA_aseCvrtToApdu(cb, gidu, next);
  cb->rollbackOnly = 1;
  return result;
}

namespace {

constexpr RdaStateAction Blank = RDA_aseBlank, A0 = RDA_aseA0, Apdu = RDA_aseCvrtToApdu, Svc = RDA_aseCvrtToSvc;

constexpr RdaStateAction serverActionTbl[kRdaActionCount] = {
    Blank, A0,   action1, action3, Apdu, Svc,  Apdu, action12, Apdu,          Svc,  Apdu,
    Svc,   Apdu, Svc,     Apdu,    Svc,  Apdu, Svc,  Apdu,     Svc,           Apdu, Svc,
    Apdu,  action41or49T, Svc,     Apdu, Svc,  Apdu, action41or49T, Svc,      Apdu,
};

}  // namespace

const RdaStateAction* RDA_getServerActionTbl(void*) { return serverActionTbl; }
