#include "src/acse/gidu.h"

#include "common/timer2.h"
#include "src/acse/al_errno.h"
#include "src/acse/al_trace.h"
#include "src/presentation/pidu.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/algidu";

XmTree* treeOf(const void* item) { return xm_getParentOfItem(const_cast<void*>(item)); }

// True when `tree` is `of` or one of its ancestors.
bool holds(const XmTree* tree, XmTree* of) {
  for (XmTree* t = of; t != nullptr; t = xm_getParentOfTree(t))
    if (t == tree) return true;
  return false;
}

// Frees the unit a GIDU carries: the tree of its own that holds it, or only
// the item when it lies in the GIDU's own tree (or above it), so that the
// GIDU survives.
void freeCarried(GIDU* gidu) {
  XmTree* unitTree = treeOf(gidu->idu);
  if (unitTree == nullptr || holds(unitTree, treeOf(gidu))) _xm_freeItem(gidu->idu);
  else _xm_freeTree(unitTree);
}

// Pops the top header, under the rules of AL_deleteAeHDR.
void popHeader(GIDU* gidu) {
  if (!al_isPrimitive(gidu->event) || gidu->iduType == AL_IDU_PRES || gidu->idu == nullptr) return;
  auto* hdr = static_cast<AeHDR*>(gidu->idu);
  gidu->idu = hdr->wrapped;
  _xm_freeItem(hdr);
}

}  // namespace

GIDU* al_createGidu(const GIDU* ref, uint32_t iduType, uint32_t event) {
  XmTree* tree = _xm_allocTree(nullptr);
  if (tree == nullptr) return nullptr;
  auto* gidu = static_cast<GIDU*>(_xm_allocItem(tree, sizeof(GIDU), XM_ZERO));
  if (gidu == nullptr) {
    _xm_freeTree(tree);
    return nullptr;
  }
  gidu->event = event;
  gidu->iduType = iduType;
  gidu->errNo = 0;
  if (ref != nullptr) {
    gidu->ue = ref->ue;
    gidu->pe = ref->pe;
    gidu->uc = ref->uc;
    gidu->pc = ref->pc;
  }
  al_selfLink(gidu);
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "al_createGidu", gidu, 1);
  return gidu;
}

AeHDR* AL_createAeHDR(GIDU* gidu) {
  if (gidu == nullptr) return nullptr;
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "AL_createAeHDR", gidu, 0);
  auto* hdr = static_cast<AeHDR*>(_xm_allocItem(treeOf(gidu), sizeof(AeHDR), XM_ZERO));
  if (hdr == nullptr) return nullptr;
  hdr->wrapped = gidu->idu;
  gidu->idu = hdr;
  return hdr;
}

PIDU* AL_createPidu(GIDU* gidu) {
  if (gidu == nullptr) return nullptr;
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "AL_createPidu", gidu, 0);
  XmTree* tree = _xm_allocTree(treeOf(gidu));
  if (tree == nullptr) return nullptr;
  auto* pidu = static_cast<PIDU*>(_xm_allocItem(tree, sizeof(PIDU), XM_ZERO));
  if (pidu == nullptr) {
    _xm_freeTree(tree);
    return nullptr;
  }
  p_clear_pidu(pidu);
  return pidu;
}

GIDU* al_createGiduWithPidu(const GIDU* ref, uint32_t iduType, uint32_t event) {
  GIDU* gidu = al_createGidu(ref, iduType, event);
  if (gidu == nullptr) return nullptr;
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "al_createGiduWithPidu", gidu, 0);
  PIDU* pidu = AL_createPidu(gidu);
  if (pidu == nullptr) {
    al_deleteGidu(gidu);
    return nullptr;
  }
  gidu->idu = pidu;
  return gidu;
}

GIDU* AL_createGiduWithAeHDR(const GIDU* ref, uint32_t iduType, uint32_t event) {
  GIDU* gidu = al_createGidu(ref, iduType, event);
  if (gidu == nullptr) return nullptr;
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "AL_createGiduWithAeHDR", gidu, 0);
  if (AL_createAeHDR(gidu) == nullptr) {
    al_deleteGidu(gidu);
    return nullptr;
  }
  return gidu;
}

void al_deleteGidu(GIDU* gidu) {
  if (gidu == nullptr) return;
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "al_deleteGidu", gidu, 0);
  if (XmTree* tree = treeOf(gidu)) _xm_freeTree(tree);
  else _xm_freeItem(gidu);
}

void AL_deleteAeHDR(GIDU* gidu) {
  if (gidu == nullptr) return;
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "AL_deleteAeHDR", gidu, 0);
  popHeader(gidu);
}

void AL_deleteGiduWithAeHDR(GIDU* gidu) {
  if (gidu == nullptr) return;
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "AL_deleteGiduWithAeHDR", gidu, 0);
  AL_deleteAeHDR(gidu);
  al_deleteGidu(gidu);
}

void al_freeUnit(GIDU* gidu) {
  if (gidu == nullptr || gidu->idu == nullptr) return;
  freeCarried(gidu);
  gidu->idu = nullptr;
}

GIDU* AL_createLocalError(GIDU* gidu, uint32_t errNo) {
  if (gidu == nullptr) return nullptr;
  AL_TRACE_GIDU(al_comTMHandle, AL_TL_ENTRY, kSrc, "AL_createLocalError", gidu, 0);
  popHeader(gidu);
  al_freeUnit(gidu);
  gidu->event = AL_LOCERR_IND;
  gidu->errNo = errNo;
  return gidu;
}

UL_APTitle* al_createAeTitle(const UL_APTitle* apTitle, const UL_AEQual* aeQualifier, XmTree* tree) {
  if (apTitle == nullptr || aeQualifier == nullptr || apTitle->kind != UL_TITLE_OBJID ||
      aeQualifier->kind != UL_QUAL_INTEGER || apTitle->objId.count >= UINT32_MAX / 4 ||
      (apTitle->objId.count > 0 && apTitle->objId.arcs == nullptr)) {
    QvSetOsiError(static_cast<int32_t>(AL_ERR_BAD_PARAM));
    return nullptr;
  }
  const uint32_t count = apTitle->objId.count + 1;
  auto* title = static_cast<UL_APTitle*>(_xm_allocItem(tree, sizeof(UL_APTitle), XM_ZERO));
  auto* arcs = title != nullptr ? static_cast<uint32_t*>(_xm_allocItem(tree, count * 4, 0)) : nullptr;
  if (arcs == nullptr) {
    _xm_freeItem(title);
    QvSetOsiError(static_cast<int32_t>(AL_ERR_BAD_PARAM));
    return nullptr;
  }
  for (uint32_t i = 0; i + 1 < count; ++i) arcs[i] = apTitle->objId.arcs[i];
  arcs[count - 1] = static_cast<uint32_t>(aeQualifier->integer);
  title->kind = UL_TITLE_OBJID;
  title->objId.count = count;
  title->objId.arcs = arcs;
  return title;
}
