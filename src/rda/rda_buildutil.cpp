#include "src/rda/rda_buildutil.h"

#include "src/rda/rda_idubuild.h"
#include "src/rda/rda_list.h"
#include "src/rda/rda_trace.h"
#include "src/runtime/xm.h"

namespace {
constexpr const char* kSrc = "src/rdabuild";
}  // namespace

XmTree* rda_iduTree(const GIDU* gidu) {
  return gidu != nullptr && gidu->idu != nullptr ? xm_getParentOfItem(gidu->idu) : nullptr;
}

GIDU* rda_buildGidu(const char* fn, const GIDU* ref, RdaEventCode event, int32_t opId, void** body) {
  TM_TRACE(rda_comTMHandle, 0x80, kSrc, "%s() called\n", fn);
  GIDU* g = rda_createGiduWithRdaIdu(ref, event, opId, body);
  if (g == nullptr) TM_TRACE(rda_comTMHandle, 0x08, kSrc, "*** %s: can't create gidu with RDA IDU\n", fn);
  return g;
}

GIDU* rda_buildFailed(GIDU* gidu, uint32_t mask, const char* fn, const char* what) {
  TM_TRACE(rda_comTMHandle, mask, kSrc, "*** %s: %s\n", fn, what);
  al_deleteGidu(gidu);
  return nullptr;
}

void rda_moveValList(RDASQLValList* dst, RDASQLValList* src) {
  dst->code = src->code;
  rda_ringAdopt(&dst->values, src->values);
  rda_ringInit(&src->values);
}
