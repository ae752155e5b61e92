// Application-entity invocations, the check of activation parameters and
// of an incoming A-ASSOCIATE, and the choice of the invocation that answers.
#include <algorithm>

#include "common/timer2.h"
#include "src/acse/al_errno.h"
#include "src/acse/al_trace.h"
#include "src/acse/altls.h"
#include "src/acse/sao.h"
#include "src/presentation/pidu.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/alaei";

void setError(uint32_t err) { QvSetOsiError(static_cast<int32_t>(err)); }

bool sameObjId(const ObjIdV& a, const ObjIdV& b) { return ul_objidvcmp(&a, &b) != 0; }

}  // namespace

int32_t AL_chkActParams(const UL_AEId* params) {
  QvSetOsiError(0);
  uint32_t err = 0;
  const uint32_t mask = params != nullptr ? params->mask : 0;
  if (params == nullptr || (params->pAddress.mask & UL_PADDR_PSEL) == 0 || params->pAddress.nAddrs.count == 0)
    err = AL_ERR_ACT_PSAP;
  if ((mask & UL_AEID_APTITLE) == 0) err = AL_ERR_ACT_APTITLE;
  if ((mask & UL_AEID_AEQUAL) == 0) err = AL_ERR_ACT_AEQUAL;
  if ((mask & UL_AEID_AEINVOKE) == 0) err = AL_ERR_ACT_AEINVOKE;
  if (err != 0) {
    setError(err);
    return 0;
  }
  if (params->apTitle.kind != UL_TITLE_OBJID) setError(AL_ERR_ACT_APTITLE);
  if (params->aeQual.kind != UL_QUAL_INTEGER) setError(AL_ERR_ACT_AEQUAL);
  return QvGetOsiError() == 0 ? 1 : 0;
}

AeiCB* AL_createAeiCB(GIDU* gidu, AlGiduFn userEntry, const AeiDescriptor* descriptor) {
  XmTree* tree = descriptor != nullptr ? _xm_allocTree(nullptr) : nullptr;
  // The descriptor's size is the caller's; the block is never smaller than
  // its own record.
  const uint32_t size =
      descriptor != nullptr ? std::max<uint32_t>(descriptor->blockSize, sizeof(AeiCB)) : sizeof(AeiCB);
  auto* aei = tree != nullptr ? static_cast<AeiCB*>(_xm_allocItem(tree, size, XM_ZERO)) : nullptr;
  if (aei == nullptr) {
    _xm_freeTree(tree);
    TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_createAeiCB: no memory for AeiCB\n");
    setError(AL_ERR_NO_MEMORY);
    return nullptr;
  }
  aei->cbId = descriptor->cbId;
  aei->actxTable = descriptor->actxTable;
  aei->asxTable = descriptor->asxTable;
  aei->actParams = descriptor->actParams;
  if (aei->actParams != nullptr) {
    // The parameters' tree goes under the invocation's and gains a
    // reference, so that both their first holder and the invocation may
    // free it. A parameter record in the thread's root tree stays there.
    XmTree* paramTree = xm_getParentOfItem(aei->actParams);
    const XmTLS* xm = getXmTLS(0);
    if (paramTree != nullptr && (xm == nullptr || paramTree != xm->rootTree)) {
      _xm_moveTree(tree, paramTree);
      xm_addReferenceTree(paramTree);
    }
  }
  aei->ucb = gidu != nullptr ? gidu->ue : nullptr;
  aei->userEntry = userEntry;
  aei->saoList.links.next = aei->saoList.links.prev = &aei->saoList.links;
  aei->next = aei->prev = aei;
  TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc, "AL_createAeiCB: created AeiCB=%lx\n",
           reinterpret_cast<unsigned long>(aei));
  return aei;
}

int32_t AL_deleteAeiCB(AeiCB* aei) {
  if (aei == nullptr) return 1;
  aei->prev->next = aei->next;
  aei->next->prev = aei->prev;
  aei->next = aei->prev = aei;
  aei->cbId = ~aei->cbId;
  XmTree* tree = xm_getParentOfItem(aei);
  if (aei->actParams != nullptr) {
    XmTree* paramTree = xm_getParentOfItem(aei->actParams);
    if (paramTree != nullptr && xm_getParentOfTree(paramTree) == tree) _xm_freeTree(paramTree);
  }
  _xm_freeTree(tree);
  return 1;
}

AcAarq* al_pconnAssocParams(const GIDU* gidu) {
  if (gidu == nullptr || gidu->iduType != AL_IDU_PRES || gidu->idu == nullptr) return nullptr;
  auto* pidu = static_cast<PIDU*>(gidu->idu);
  if (pidu->dataList.next == nullptr || pidu->dataList.next == &pidu->dataList) return nullptr;
  auto* apdu = static_cast<AcseApdu*>(static_cast<DElem*>(pidu->dataList.next)->value);
  return apdu != nullptr && apdu->code == AC_APDU_AARQ ? &apdu->aarq : nullptr;
}

uint32_t AL_chkAAssocParams(const GIDU* gidu) {
  const AcAarq* p = al_pconnAssocParams(gidu);
  if (p == nullptr) {
    const auto* pidu = gidu != nullptr && gidu->iduType == AL_IDU_PRES ? static_cast<const PIDU*>(gidu->idu) : nullptr;
    TM_TRACE(al_comTMHandle, AL_TL_PARAM, kSrc, "*** AL_chkAAssocParms: No user data in PCONN.ind, parse error %d\n",
             pidu != nullptr ? static_cast<int32_t>(pidu->userError) : 0);
    return AL_ERR_BAD_PARAM;
  }
  const uint32_t has = p->presence;
  if ((has & AC_AARQ_CALLED_AP_INVOKE) != 0 && (has & AC_AARQ_CALLED_AP_TITLE) == 0) return AL_ERR_CALLED_APINVOKE;
  if ((has & AC_AARQ_CALLED_AP_TITLE) != 0 && p->calledApTitle.kind != UL_TITLE_OBJID) return AL_ERR_CALLED_APTITLE;
  if ((has & AC_AARQ_CALLED_AE_QUAL) != 0 && p->calledAeQual.kind != UL_QUAL_INTEGER) return AL_ERR_CALLED_AEQUAL;
  if ((has & AC_AARQ_CALLING_AP_TITLE) != 0 && p->callingApTitle.kind != UL_TITLE_OBJID)
    return AL_ERR_CALLING_APTITLE;
  if ((has & AC_AARQ_CALLING_AE_QUAL) != 0 && p->callingAeQual.kind != UL_QUAL_INTEGER) return AL_ERR_CALLING_AEQUAL;
  return AL_ASSOC_ACCEPTABLE;
}

namespace {

// The tests of AL_assignAEI, in the order they are applied: whether the
// request names the item, whether an invocation matches it, and the error
// when none does.
struct AeiFilter {
  uint32_t presence;
  bool (*matches)(const AcAarq& p, const UL_AEId& a);
  uint32_t error;
};

constexpr AeiFilter kAeiFilters[] = {
    {AC_AARQ_CALLED_AP_TITLE,
     [](const AcAarq& p, const UL_AEId& a) {
       return (a.mask & UL_AEID_APTITLE) != 0 && p.calledApTitle.kind == UL_TITLE_OBJID &&
              a.apTitle.kind == UL_TITLE_OBJID && sameObjId(p.calledApTitle.objId, a.apTitle.objId);
     },
     AL_ERR_CALLED_APTITLE},
    {AC_AARQ_CALLED_AE_QUAL,
     [](const AcAarq& p, const UL_AEId& a) {
       return (a.mask & UL_AEID_AEQUAL) != 0 && p.calledAeQual.kind == UL_QUAL_INTEGER &&
              a.aeQual.kind == UL_QUAL_INTEGER && p.calledAeQual.integer == a.aeQual.integer;
     },
     AL_ERR_CALLED_AEQUAL},
    {AC_AARQ_CALLED_AP_INVOKE,
     [](const AcAarq& p, const UL_AEId& a) {
       return (a.mask & UL_AEID_APINVOKE) != 0 && p.calledApInvoke == a.apInvokeId;
     },
     AL_ERR_CALLED_APINVOKE},
    {AC_AARQ_CALLED_AE_INVOKE,
     [](const AcAarq& p, const UL_AEId& a) {
       return (a.mask & UL_AEID_AEINVOKE) != 0 && p.calledAeInvoke == a.aeInvokeId;
     },
     AL_ERR_CALLED_AEINVOKE},
};

}  // namespace

AeiCB* AL_assignAEI(const GIDU* gidu, UL_Ring* aeiList) {
  AlTLS* tls = getAlTLS(0);
  if (tls == nullptr || aeiList == nullptr) {
    setError(AL_ERR_BAD_PARAM);
    return nullptr;
  }
  AeiCB** cand = tls->aeiCandidates;
  int32_t n = 0;
  for (UL_Link* l = aeiList->links.next; l != nullptr && l != &aeiList->links; l = l->next) {
    if (n == kAlAeiCandidates) {
      TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** AL_assignAEI: too many AeiCBs, some ignored\n");
      break;
    }
    cand[n++] = static_cast<AeiCB*>(l);
  }
  if (n == 0) {
    setError(AL_ERR_BAD_PARAM);
    return nullptr;
  }
  if (const AcAarq* p = al_pconnAssocParams(gidu)) {
    for (const AeiFilter& f : kAeiFilters) {
      if ((p->presence & f.presence) == 0) continue;
      int32_t kept = 0;
      for (int32_t i = 0; i < n; ++i)
        if (cand[i]->actParams != nullptr && f.matches(*p, *cand[i]->actParams)) cand[kept++] = cand[i];
      n = kept;
      if (n == 0) {
        setError(f.error);
        return nullptr;
      }
    }
  }
  return cand[0];
}
