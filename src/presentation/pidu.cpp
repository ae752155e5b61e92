#include "src/presentation/pidu.h"

#include <algorithm>
#include <cstring>

#include "common/qvthread.h"
#include "src/runtime/xm.h"

void p_clear_pidu(PIDU* pidu) {
  if (pidu == nullptr) return;
  QvCheckedLock lock(hSerializeGlobalMutex);
  std::memset(pidu, 0, sizeof *pidu);
  std::fill(std::begin(pidu->ctxDefList), std::end(pidu->ctxDefList), -1);
  std::fill(std::begin(pidu->ctxSpareList), std::end(pidu->ctxSpareList), -1);
  std::fill(std::begin(pidu->ctxIdList), std::end(pidu->ctxIdList), -1);
  pidu->local.pSel.length = -1;
  pidu->remote.pSel.length = static_cast<uint32_t>(-1);
  pidu->responding.pSel.length = -1;
  pidu->dfltCtx = -1;
  pidu->reason = -1;
  pidu->dataList.next = pidu->dataList.prev = &pidu->dataList;
  pidu->endOfSdu = 1;
  pidu->sessVersion = 2;
  pidu->flag1 = 1;
  pidu->flag2 = 1;
}

void p_free_pidu(PIDU* pidu) {
  if (pidu == nullptr) return;
  QvCheckedLock lock(hSerializeGlobalMutex);
  if (XmTree* top = xm_getRootOfItem(pidu)) _xm_freeTree(top);
  else _xm_freeItem(pidu);  // an item of the root tree itself
}

void p_clear_delem(DElem* delem) {
  if (delem == nullptr) return;
  QvCheckedLock lock(hSerializeGlobalMutex);
  std::memset(delem, 0, sizeof *delem);
  delem->pctxId = -1;
  delem->next = delem->prev = delem;
}
