// SAO control blocks of associations and their presentation-context tables.
#include <algorithm>
#include <cstring>

#include "common/timer2.h"
#include "src/acse/abort.h"
#include "src/acse/al_errno.h"
#include "src/acse/al_psap.h"
#include "src/acse/al_trace.h"
#include "src/acse/gidu_queue.h"
#include "src/acse/sao.h"
#include "src/presentation/pidu.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/alsao";

void setError(uint32_t err) { QvSetOsiError(static_cast<int32_t>(err)); }

XmTree* treeOf(const void* item) { return xm_getParentOfItem(const_cast<void*>(item)); }

bool nameIs(const ObjIdV& name, uint32_t count, const uint32_t* arcs) {
  if (name.count != count) return false;
  return count == 0 || (name.arcs != nullptr && arcs != nullptr && std::memcmp(name.arcs, arcs, count * 4) == 0);
}

// The AE title of an AP title and an AE qualifier into *dst, its arcs in
// `tree`; false (OSI error 52993) when it cannot be made.
bool makeTitle(UL_APTitle* dst, const UL_APTitle& apTitle, const UL_AEQual& aeQual, XmTree* tree) {
  UL_APTitle* title = al_createAeTitle(&apTitle, &aeQual, tree);
  if (title == nullptr) return false;
  *dst = *title;
  _xm_freeItem(title);
  return true;
}

// The peer's AP and AE invocation ids, each when its presence bit is set.
void takePeerIds(SaoCB* sao, uint32_t has, uint32_t apBit, int32_t apInvoke, uint32_t aeBit, int32_t aeInvoke) {
  if ((has & apBit) != 0) {
    sao->peerApInvoke = static_cast<uint32_t>(apInvoke);
    sao->idFlags |= SAO_ID_APINVOKE;
  }
  if ((has & aeBit) != 0) {
    sao->peerAeInvoke = static_cast<uint32_t>(aeInvoke);
    sao->idFlags |= SAO_ID_AEINVOKE;
  }
}

// Rows of an ASE table before its end row.
int32_t asxRows(const AsxEntry* table) {
  int32_t n = 0;
  while (n < kAsxMaxRows && table[n].arcCount != 0) ++n;
  return n;
}

void setEntry(PctxEntry* entry, const AsxEntry* row) {
  entry->ase = row;
  entry->aseId = row->aseId;
}

bool failTable(uint32_t asIdx) {
  TM_TRACE(al_comTMHandle, AL_TL_TABLE, kSrc, "*** AL_createPctxTBL: bad asidx=%x\n", asIdx);
  setError(AL_ERR_BAD_PARAM);
  return false;
}

// Frees a block that could not be completed, keeping the OSI error.
SaoCB* discard(SaoCB* sao) {
  const int32_t err = QvGetOsiError();
  AL_deleteSaoCB(sao);
  QvSetOsiError(err);
  return nullptr;
}

}  // namespace

const ActxEntry* al_findActx(const ActxEntry* table, const ObjIdV* name) {
  if (table == nullptr || name == nullptr) return nullptr;
  for (int32_t i = 0; i < kActxMaxRows && table[i].arcCount != 0; ++i)
    if (nameIs(*name, table[i].arcCount, table[i].arcs)) return &table[i];
  return nullptr;
}

SaoCB* AL_createSaoCB(GIDU* gidu, const AcAarq* params) {
  QvSetOsiError(0);
  auto* aei = gidu != nullptr ? static_cast<AeiCB*>(gidu->ue) : nullptr;
  const ActxEntry* row = aei != nullptr && params != nullptr ? al_findActx(aei->actxTable, &params->contextName) : nullptr;
  if (row == nullptr) {
    setError(AL_ERR_UNKNOWN_CONTEXT);
    return nullptr;
  }
  XmTree* tree = _xm_allocTree(nullptr);
  const uint32_t size = std::max<uint32_t>(row->saoSize, sizeof(SaoCB));
  auto* sao = tree != nullptr ? static_cast<SaoCB*>(_xm_allocItem(tree, size, XM_ZERO)) : nullptr;
  if (sao == nullptr) {
    _xm_freeTree(tree);
    setError(AL_ERR_BAD_PARAM);
    return nullptr;
  }
  sao->next = sao->prev = sao;
  al_selfLink(&sao->saoQueue);
  al_selfLink(&sao->sacfQueue);
  al_selfLink(&sao->pStopQueue);
  al_selfLink(&sao->uStopQueue);
  sao->tag = row->saoTag;
  sao->saoSnd = row->saoSnd;
  sao->saoRcv = row->saoRcv;
  sao->sacfSnd = row->sacfSnd;
  sao->sacfRcv = row->sacfRcv;
  sao->aeUp = row->aeUp;
  sao->aeDown = row->aeDown;
  sao->routeTbl = row->routeTbl;
  sao->lastRouteIdx = static_cast<int32_t>(row->lastRouteIdx);
  sao->cvrtPpdu = row->cvrtPpdu;
  sao->cvrtApdu = row->cvrtApdu;
  sao->badContextError = row->badContextError;
  sao->aeiCB = aei;

  const uint32_t has = params->presence;
  const PIDU* pidu = nullptr;
  if (gidu->iduType == AL_IDU_PRES) {
    sao->role = SAO_ROLE_RESPONDER;
    pidu = static_cast<const PIDU*>(gidu->idu);
    if ((has & AC_AARQ_CALLING_AP_TITLE) != 0 && (has & AC_AARQ_CALLING_AE_QUAL) != 0 &&
        !makeTitle(&sao->peerTitle, params->callingApTitle, params->callingAeQual, tree))
      return discard(sao);
    takePeerIds(sao, has, AC_AARQ_CALLING_AP_INVOKE, params->callingApInvoke, AC_AARQ_CALLING_AE_INVOKE,
                params->callingAeInvoke);
    if (pidu == nullptr || al_copyPSAP(&sao->peerAddress, &pidu->remote, tree) == nullptr) {
      setError(AL_ERR_BAD_PARAM);
      return discard(sao);
    }
  } else {
    sao->role = SAO_ROLE_INITIATOR;
    if ((has & AC_AARQ_CALLING_AP_TITLE) == 0) setError(AL_ERR_CALLING_APTITLE);
    else if ((has & AC_AARQ_CALLING_AE_QUAL) == 0) setError(AL_ERR_CALLING_AEQUAL);
    if (QvGetOsiError() != 0) return discard(sao);
    if ((has & AC_AARQ_CALLED_AP_TITLE) != 0 && (has & AC_AARQ_CALLED_AE_QUAL) != 0 &&
        !makeTitle(&sao->peerTitle, params->calledApTitle, params->calledAeQual, tree))
      return discard(sao);
    takePeerIds(sao, has, AC_AARQ_CALLED_AP_INVOKE, params->calledApInvoke, AC_AARQ_CALLED_AE_INVOKE,
                params->calledAeInvoke);
    if (al_copyPSAP(&sao->peerAddress, &params->connParams.calledAddress, tree) == nullptr) {
      setError(AL_ERR_BAD_PARAM);
      return discard(sao);
    }
  }

  // Reserved now, so that the association can be aborted without memory.
  sao->qabortInd = al_createGidu(gidu, gidu->iduType, AL_QABORT);
  sao->qabortReq = al_createGidu(gidu, gidu->iduType, AL_QABORT);
  if (sao->qabortInd == nullptr || sao->qabortReq == nullptr) {
    setError(AL_ERR_BAD_PARAM);
    return discard(sao);
  }
  sao->qabortInd->uc = sao;
  sao->qabortReq->uc = sao;
  const UL_AEId* act = aei->actParams;
  if (act != nullptr && (act->mask & UL_AEID_APTITLE) != 0 && (act->mask & UL_AEID_AEQUAL) != 0 &&
      !makeTitle(&sao->localTitle, act->apTitle, act->aeQual, tree))
    return discard(sao);
  if (ul_objidvcpy(&sao->appContext, &params->contextName, tree) == 0) {
    setError(AL_ERR_BAD_PARAM);
    return discard(sao);
  }
  if ((has & AC_AARQ_CONN_PARAMS) != 0) {
    if ((params->connParams.presence & AC_CP_TCLASS) != 0) {
      sao->tClass = static_cast<uint32_t>(params->connParams.transportClass);
      sao->idFlags |= SAO_ID_TCLASS;
    }
    if ((params->connParams.presence & AC_CP_NSERVICE) != 0) {
      sao->nService = static_cast<uint32_t>(params->connParams.networkService);
      sao->idFlags |= SAO_ID_NSERVICE;
    }
  }
  if (AL_createPctxTBL(&sao->appContext, pidu != nullptr ? pidu->ctxDefList : nullptr, sao) == 0) return discard(sao);
  TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc, "AL_createSaoCB: created SaoCB=%lx\n",
           reinterpret_cast<unsigned long>(sao));
  return sao;
}

int32_t AL_updateSaoCB(GIDU* gidu, const AcAare* params) {
  if (gidu == nullptr || gidu->iduType != AL_IDU_PRES || gidu->uc == nullptr || params == nullptr) return 1;
  auto* sao = static_cast<SaoCB*>(gidu->uc);
  XmTree* tree = treeOf(sao);
  const uint32_t has = params->presence;
  if ((has & AC_AARE_RESP_AP_TITLE) != 0 && (has & AC_AARE_RESP_AE_QUAL) != 0 &&
      !makeTitle(&sao->peerTitle, params->respApTitle, params->respAeQual, tree))
    return 0;
  takePeerIds(sao, has, AC_AARE_RESP_AP_INVOKE, params->respApInvoke, AC_AARE_RESP_AE_INVOKE, params->respAeInvoke);
  const auto* pidu = static_cast<const PIDU*>(gidu->idu);
  if (pidu != nullptr && pidu->responding.pSel.length >= 0) {
    const auto n = static_cast<uint32_t>(pidu->responding.pSel.length);
    uint8_t* octets = nullptr;
    if (n > 0) {
      octets = static_cast<uint8_t*>(_xm_allocItem(tree, n, 0));
      if (octets == nullptr) {
        setError(AL_ERR_BAD_PARAM);
        return 0;
      }
      if (pidu->responding.pSel.octets != nullptr) std::memcpy(octets, pidu->responding.pSel.octets, n);
      else std::memset(octets, 0, n);
    }
    sao->peerAddress.mask |= UL_PADDR_PSEL;
    sao->peerAddress.pSel.length = n;
    sao->peerAddress.pSel.octets = octets;
  }
  return 1;
}

int32_t AL_deleteSaoCB(SaoCB* sao) {
  if (sao == nullptr || sao->refCount > 0) return 1;
  // Whatever still waits in the block's queues dies with it: their
  // sentinels are part of the block.
  AL_aePurgeGiduQ(&sao->pStopQueue);
  AL_aePurgeGiduQ(&sao->uStopQueue);
  AL_aePurgeGiduQ(&sao->sacfQueue);
  AL_aePurgeGiduQ(&sao->saoQueue);
  sao->pStopCount = 0;
  al_deleteGidu(sao->qabortInd);
  al_deleteGidu(sao->qabortReq);
  sao->qabortInd = sao->qabortReq = nullptr;
  sao->tag = ~sao->tag;
  TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc, "AL_deleteSaoCB: deleted SaoCB=%lx\n",
           reinterpret_cast<unsigned long>(sao));
  _xm_freeTree(treeOf(sao));
  return 1;
}

void AL_refSaoCB(SaoCB* sao) {
  if (sao == nullptr) return;
  ++sao->refCount;
  TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc, "AL_refSaoCB: 0x%lx\n", reinterpret_cast<unsigned long>(sao));
}

void AL_derefSaoCB(SaoCB* sao) {
  if (sao == nullptr) return;
  if (sao->refCount > 0) --sao->refCount;
  TM_TRACE(al_comTMHandle, AL_TL_RESULT, kSrc, "AL_derefSaoCB: 0x%lx\n", reinterpret_cast<unsigned long>(sao));
}

int32_t AL_createPctxTBL(const ObjIdV* appContext, const int32_t* proposed, SaoCB* sao) {
  if (sao == nullptr) {
    setError(AL_ERR_BAD_PARAM);
    return 0;
  }
  auto* tbl = static_cast<PctxEntry*>(_xm_allocItem(treeOf(sao), kPctxEntries * sizeof(PctxEntry), XM_ZERO));
  if (tbl == nullptr) {
    setError(AL_ERR_BAD_PARAM);
    return 0;
  }
  sao->pctxTbl = tbl;
  const AeiCB* aei = sao->aeiCB;
  const ActxEntry* row = aei != nullptr ? al_findActx(aei->actxTable, appContext) : nullptr;
  if (row == nullptr) {
    setError(AL_ERR_UNKNOWN_CONTEXT);
    return 0;
  }
  const AsxEntry* asx = aei->asxTable;
  if (asx == nullptr) return failTable(0);
  const int32_t rows = asxRows(asx);
  if (proposed != nullptr) {
    for (int32_t id = 1; id < kPctxEntries; id += 2) {
      if (proposed[id] == -1) continue;
      const auto asIdx = static_cast<uint32_t>(proposed[id]);
      int32_t r = 0;
      while (r < rows && asx[r].asIdx != asIdx) ++r;
      if (r == rows) return failTable(asIdx);
      setEntry(&tbl[id], &asx[r]);
    }
    return 1;
  }
  for (uint32_t j = 0; j < row->syntaxCount; ++j) {
    const uint32_t k = row->syntaxList[j];
    if (k >= static_cast<uint32_t>(rows) || 2 * k + 1 >= static_cast<uint32_t>(kPctxEntries)) return failTable(k);
    setEntry(&tbl[2 * k + 1], &asx[k]);
  }
  return 1;
}

uint32_t AL_cnvrtIduType(const SaoCB* sao, uint32_t iduType) {
  if (sao == nullptr || sao->pctxTbl == nullptr) return 0;
  for (uint32_t id = 1; id < static_cast<uint32_t>(kPctxEntries); id += 2)
    if (sao->pctxTbl[id].ase != nullptr && sao->pctxTbl[id].aseId == iduType) return id;
  return 0;
}
