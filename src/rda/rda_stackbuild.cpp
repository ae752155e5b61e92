#include "src/rda/rda_stackbuild.h"

#include "common/timer2.h"
#include "src/acse/acse_apdu.h"
#include "src/asn1/rda_idu.h"
#include "src/asn1/ul_types.h"
#include "src/rda/rda_buildutil.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_gidu.h"
#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_trace.h"
#include "src/runtime/dif.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/rdastackbld";

// Traces "*** <fn>: <what>" at `mask`, deletes the GIDU and sets the OSI
// error; NULL.
GIDU* failed(GIDU* gidu, uint32_t mask, const char* fn, const char* what, uint32_t osiError) {
  QvSetOsiError(static_cast<int32_t>(osiError));
  return rda_buildFailed(gidu, mask, fn, what);
}

// A bare stack-control GIDU of type 200.
GIDU* controlReq(const char* fn, const GIDU* ref, uint32_t event) {
  TM_TRACE(rda_comTMHandle, 0x80, kSrc, "%s () called\n", fn);
  GIDU* g = al_createGidu(ref, AL_IDU_RDA, event);
  if (g == nullptr) TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** %s: can't create gidu\n", fn);
  return g;
}

// The GIDU of an ACSE primitive; NULL with 52481 after the trace
// "*** <who>: can't create ACSE IDU".
GIDU* acseReq(const char* who, const GIDU* ref, uint32_t event, void** body) {
  GIDU* g = rda_createGiduWithApdu(ref, event, body);
  if (g == nullptr) {
    TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** %s: can't create ACSE IDU\n", who);
    QvSetOsiError(RDA_ERR_NO_RESOURCE);
  }
  return g;
}

XmTree* apduTree(const GIDU* g) { return xm_getParentOfItem(g->idu); }

// A presentation address copied by value: its ring of network addresses is
// hooked onto the copy's own head.
void adoptPaddress(UL_Paddress* dst, const UL_Paddress& src) {
  *dst = src;
  UL_Link* head = &dst->nAddrs.links;
  if (src.nAddrs.links.next == &src.nAddrs.links) {
    head->next = head->prev = head;
    dst->nAddrs.count = 0;
    return;
  }
  head->next->prev = head;
  head->prev->next = head;
}

// A-ASSOCIATE response of either builder; `reason` NULL gives diagnostic 1
// to a rejection.
GIDU* assocRsp(const char* fn, const GIDU* ref, const ObjIdV* appCtxName, uint32_t result,
               const uint32_t* presRequirements, uint32_t sessRequirements, const uint32_t* reason) {
  constexpr const char* kWho = "rda_createAssocRsp";
  TM_TRACE(rda_comTMHandle, 0x80, kSrc, "%s () called\n", fn);
  if (sessRequirements == 0) {
    TM_TRACE(rda_comTMHandle, 0x04, kSrc, "*** %s: mandatory parameter sReq is referencing NULL\n", fn);
    QvSetOsiError(RDA_ERR_NO_REQED_PARAM);
    return nullptr;
  }
  if (appCtxName == nullptr) {
    TM_TRACE(rda_comTMHandle, 0x04, kSrc, "*** %s: mandatory parameter appCtxName is referencing NULL\n", fn);
    QvSetOsiError(RDA_ERR_NO_REQED_PARAM);
    return nullptr;
  }
  void* body = nullptr;
  GIDU* g = acseReq(kWho, ref, AL_A_ASSOC_RSP, &body);
  if (g == nullptr) return nullptr;
  auto* aare = static_cast<AcAare*>(body);
  if (ul_objidvcpy(&aare->contextName, appCtxName, apduTree(g)) == 0)
    return failed(g, 0x08, kWho, "can't copy appCtxName", RDA_ERR_NO_RESOURCE);
  aare->protocolVersion = kAcProtocolVersion1;
  aare->result = result;
  aare->resultSource = AC_SOURCE_USER;
  aare->diagnostic = result == AC_RESULT_ACCEPTED ? 0 : reason != nullptr ? *reason : 1;
  aare->connResult.sessRequirements = sessRequirements;
  if (presRequirements != nullptr) {
    aare->connResult.presRequirements = *presRequirements;
    aare->connResult.presence = AC_CR_PRES_REQUIREMENTS;
  }
  aare->presence = AC_AARE_VERSION | AC_AARE_CONN_RESULT;
  return g;
}

// The directory entry of `name`: 0, or the OSI error after its trace.
uint32_t fetchEntry(XmTree* tree, const char* name, UL_AEId* entry, const char* dirArg) {
  const int32_t r = dif_fetch_local(tree, name, entry, dirArg);
  if (r != DIF_OK) {
    TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** rda_createAssocReq: Directory failure (directory error = %d)\n", r);
    return RDA_ERR_NO_AETABLE_ENTRY;
  }
  return rda_checkAeTableEntry(*entry, name);
}

}  // namespace

uint32_t rda_checkAeTableEntry(const UL_AEId& entry, const char* name) {
  constexpr uint32_t kNeeded = UL_AEID_APTITLE | UL_AEID_AEQUAL | UL_AEID_TCLASS;
  if ((entry.mask & kNeeded) == kNeeded) return 0;
  TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** rda_createAssocReq: __AETABLE__ entry for %s is not complete\n",
           name != nullptr ? name : "(null)");
  return RDA_ERR_INCOMPLETE_AETABLE;
}

GIDU* rda_createActivateReq(const GIDU* ref, const char* localName, uint32_t role) {
  constexpr const char* kFn = "rda_createActivateReq";
  TM_TRACE(rda_comTMHandle, 0x80, kSrc, "rda_createActivateReq () called\n");
  GIDU* g = rda_createGiduWithRdaIdu(ref, AL_ACT_REQ, 0, nullptr);
  if (g == nullptr) {
    TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** rda_createActivateReq: can't create gidu with RDA IDU\n");
    return nullptr;
  }
  XmTree* tree = rda_iduTree(g);
  auto* idu = static_cast<RDAIdu*>(g->idu);
  auto* aeId = static_cast<UL_AEId*>(_xm_allocItem(tree, sizeof(UL_AEId), XM_ZERO));
  if (aeId == nullptr) return failed(g, 0x01, kFn, "Memory Failure", RDA_ERR_NO_RESOURCE);
  idu->activate.aeId = aeId;
  if (const int32_t r = dif_fetch_local(tree, localName, aeId, nullptr); r != DIF_OK) {
    TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** rda_createActivateReq: Directory failure (directory error = %d)\n",
             r);
    QvSetOsiError(RDA_ERR_NO_AETABLE_ENTRY);
    al_deleteGidu(g);
    return nullptr;
  }
  aeId->mask |= UL_AEID_APINVOKE | UL_AEID_AEINVOKE;
  aeId->apInvokeId = 0;
  aeId->aeInvokeId = 0;
  auto* actData = static_cast<RDAActData*>(_xm_allocItem(tree, sizeof(RDAActData), XM_ZERO));
  if (actData == nullptr) return failed(g, 0x01, kFn, "Memory Failure", RDA_ERR_NO_RESOURCE);
  actData->flag = role;
  idu->activate.actData = actData;
  return g;
}

GIDU* rda_createDeactivateReq(const GIDU* ref) { return controlReq("rda_createDeactivateReq", ref, AL_DEACT_REQ); }
GIDU* rda_createForcedDeactReq(const GIDU* ref) { return controlReq("rda_createForcedDeactReq", ref, AL_FDEACT_REQ); }
GIDU* rda_createQabortReq(const GIDU* ref) { return controlReq("rda_createQabortReq", ref, AL_QABORT); }
GIDU* rda_createProvStopReq(const GIDU* ref) { return controlReq("rda_createProvStopReq", ref, AL_PSTOP_REQ); }
GIDU* rda_createProvStartReq(const GIDU* ref) { return controlReq("rda_createProvStartReq", ref, AL_PSTART_REQ); }
GIDU* rda_createSurNextEventReq(const GIDU* ref) {
  return controlReq("rda_createSurNextEventReq", ref, RDA_SUR_NXTEVENT_REQ);
}

GIDU* rda_createAssocReq(const GIDU* ref, const char* localName, const char* peerName, const ObjIdV* appCtxName,
                         const uint32_t* presRequirements, uint32_t sessRequirements, const char* dirArg) {
  constexpr const char* kFn = "rda_createAssocReq";
  TM_TRACE(rda_comTMHandle, 0x80, kSrc, "rda_createAssocReq () called");
  const char* missing = nullptr;
  if (localName == nullptr || localName[0] == '\0') missing = "localname";
  else if (sessRequirements == 0) missing = "sReq";
  else if (appCtxName == nullptr) missing = "appCtxName";
  if (missing != nullptr) {
    TM_TRACE(rda_comTMHandle, 0x04, kSrc, "*** rda_createAssocReq: mandatory parameter %s is referencing NULL\n",
             missing);
    QvSetOsiError(RDA_ERR_NO_REQED_PARAM);
    return nullptr;
  }
  void* body = nullptr;
  GIDU* g = acseReq(kFn, ref, AL_A_ASSOC_REQ, &body);
  if (g == nullptr) return nullptr;
  auto* aarq = static_cast<AcAarq*>(body);
  XmTree* tree = apduTree(g);

  auto* local = static_cast<UL_AEId*>(_xm_allocItem(tree, sizeof(UL_AEId), XM_ZERO));
  auto* peer = static_cast<UL_AEId*>(_xm_allocItem(tree, sizeof(UL_AEId), XM_ZERO));
  if (local == nullptr || peer == nullptr) return failed(g, 0x01, kFn, "Memory Failure", RDA_ERR_NO_RESOURCE);
  TM_TRACE(rda_comTMHandle, 0x100, kSrc, "rda_createAssocReq: connect %s to %s\n", localName,
           peerName != nullptr ? peerName : "(null)");
  uint32_t err = fetchEntry(tree, localName, local, dirArg);
  if (err == 0) err = fetchEntry(tree, peerName, peer, dirArg);
  if (err != 0) {
    QvSetOsiError(static_cast<int32_t>(err));
    al_deleteGidu(g);
    return nullptr;
  }
  if (ul_objidvcpy(&aarq->contextName, appCtxName, tree) == 0)
    return failed(g, 0x08, kFn, "can't copy appCtxName", RDA_ERR_NO_RESOURCE);

  aarq->protocolVersion = kAcProtocolVersion1;
  aarq->calledApTitle = peer->apTitle;
  aarq->calledAeQual = peer->aeQual;
  aarq->callingApTitle = local->apTitle;
  aarq->callingAeQual = local->aeQual;
  aarq->callingApInvoke = 0;
  aarq->callingAeInvoke = 0;
  AcConnParams& cp = aarq->connParams;
  cp.presentationMode = 1;
  adoptPaddress(&cp.callingAddress, local->pAddress);
  adoptPaddress(&cp.calledAddress, peer->pAddress);
  cp.sessRequirements = sessRequirements;
  cp.networkService = peer->nService;
  cp.transportClass = peer->tClass;
  cp.presence = AC_CP_NSERVICE | AC_CP_TCLASS;
  // The requirements join the flags set above; they do not replace them.
  if (presRequirements != nullptr) {
    cp.presRequirements = *presRequirements;
    cp.presence |= AC_CP_PRES_REQUIREMENTS;
  }
  aarq->presence = AC_AARQ_VERSION | AC_AARQ_CALLED_AP_TITLE | AC_AARQ_CALLED_AE_QUAL | AC_AARQ_CALLING_AP_TITLE |
                   AC_AARQ_CALLING_AE_QUAL | AC_AARQ_CALLING_AP_INVOKE | AC_AARQ_CALLING_AE_INVOKE |
                   AC_AARQ_CONN_PARAMS;
  return g;
}

GIDU* rda_createAssocRsp(const GIDU* ref, const ObjIdV* appCtxName, uint32_t result,
                         const uint32_t* presRequirements, uint32_t sessRequirements) {
  return assocRsp("rda_createAssocRsp", ref, appCtxName, result, presRequirements, sessRequirements, nullptr);
}

GIDU* rda_createAssocRspWithReason(const GIDU* ref, const ObjIdV* appCtxName, uint32_t result,
                                   const uint32_t* presRequirements, uint32_t sessRequirements, uint32_t reason) {
  return assocRsp("rda_createAssocRspWithReason", ref, appCtxName, result, presRequirements, sessRequirements,
                  &reason);
}

GIDU* rda_createRelReq(const GIDU* ref, const int32_t* reason) {
  TM_TRACE(rda_comTMHandle, 0x80, kSrc, "rda_createRelReq () called\n");
  void* body = nullptr;
  GIDU* g = acseReq("rda_createRelReq", ref, AL_A_RELEASE_REQ, &body);
  if (g == nullptr) return nullptr;
  auto* rlrq = static_cast<AcRlrq*>(body);
  if (reason != nullptr) {
    rlrq->reason = *reason;
    rlrq->presence = AC_RLS_REASON;
  }
  return g;
}

GIDU* rda_createRelRsp(const GIDU* ref, const int32_t* reason, int32_t releaseResult) {
  TM_TRACE(rda_comTMHandle, 0x80, kSrc, "rda_createRelRsp () called\n");
  void* body = nullptr;
  GIDU* g = acseReq("rda_createRelRsp", ref, AL_A_RELEASE_RSP, &body);
  if (g == nullptr) return nullptr;
  auto* rlre = static_cast<AcRlre*>(body);
  if (reason != nullptr) {
    rlre->reason = *reason;
    rlre->presence = AC_RLS_REASON;
  }
  rlre->releaseResult = releaseResult;
  rlre->presence |= AC_RLRE_RELEASE_RESULT;
  return g;
}

GIDU* rda_createAbortReq(const GIDU* ref) {
  TM_TRACE(rda_comTMHandle, 0x80, kSrc, "rda_createAbortReq () called\n");
  void* body = nullptr;
  GIDU* g = acseReq("rda_createAbortReq", ref, AL_A_ABORT_REQ, &body);
  if (g == nullptr) return nullptr;
  static_cast<AcAbrt*>(body)->source = AC_ABORT_USER;
  return g;
}
