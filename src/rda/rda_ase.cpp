// The RDA application service element: its send and receive entries and
// the management of its per-association control blocks.
#include "src/rda/rda_ase.h"

#include "common/timer2.h"
#include "src/acse/al_trace.h"
#include "src/acse/sao.h"
#include "src/asn1/rda_idu.h"
#include "src/rda/rda_aseact.h"
#include "src/rda/rda_aseint.h"
#include "src/rda/rda_errno.h"
#include "src/rda/rda_event.h"
#include "src/rda/rda_trace.h"
#include "src/rda/rdatls.h"

namespace {

constexpr const char* kSrc = "src/rdase";

RDA_AseCBHead* threadHead() {
  const RdaAseTLS* tls = getRdaAseTLS(0);
  return tls != nullptr ? tls->head : nullptr;
}

int32_t fail(uint32_t error) {
  QvSetOsiError(static_cast<int32_t>(error));
  return 0;
}

bool alive(const RDA_AseCB* cb) { return cb != nullptr && cb->id == kRdaAseCbId && cb->stateCk != nullptr; }

// The family of the association's RDA messages: that of the abstract
// syntax whose context the GIDU travels in.
RdaFamily familyOf(const GIDU* gidu, const PctxEntry* pctxTbl) {
  const auto* hdr = static_cast<const AeHDR*>(gidu->idu);
  if (hdr == nullptr || pctxTbl == nullptr || hdr->pctxId >= static_cast<uint32_t>(kPctxEntries)) return RdaFamily::Iso;
  const AsxEntry* row = pctxTbl[hdr->pctxId].ase;
  return row != nullptr && row->decode == aRDAXOPENIdu ? RdaFamily::Xopen : RdaFamily::Iso;
}

void setRole(RDA_AseCB* cb, uint32_t role, const GIDU* gidu, const PctxEntry* pctxTbl) {
  const bool client = role == RDA_ASE_ROLE_CLIENT;
  cb->role = role;
  RDA_resetStateCk(cb->stateCk, client ? &RDA_aseClientEventTbl : &RDA_aseServerEventTbl,
                   client ? RDA_getClientActionTbl(nullptr) : RDA_getServerActionTbl(nullptr));
  cb->stateCk->family = familyOf(gidu, pctxTbl);
  cb->stateCheck = client ? RDA_clientStateCk : RDA_serverStateCk;
}

}  // namespace

void rda_aseSnd(GIDU* gidu, PctxEntry* pctxTbl, void* aseBlock, SaoCB*) {
  AL_TRACE_GIDU(rda_aseTMHandle, AL_TL_ENTRY, kSrc, "rda_aseSnd", gidu, 1);
  if (gidu == nullptr) return;
  auto* cb = static_cast<RDA_AseCB*>(aseBlock);
  if (!alive(cb)) {
    TM_TRACE(rda_aseTMHandle, AL_TL_PARAM, kSrc, "*** rda_aseSnd: no RDA_AseCB for the association\n");
    RDA_aseSndLocalError(gidu, RDA_ASE_ERR_NO_SUCH_ASECB);
    return;
  }
  if (cb->role == RDA_ASE_ROLE_NONE && gidu->event == RDA_INIT_REQ) setRole(cb, RDA_ASE_ROLE_CLIENT, gidu, pctxTbl);
  if (cb->role == RDA_ASE_ROLE_NONE) {
    TM_TRACE(rda_aseTMHandle, AL_TL_ERROR, kSrc, "*** rda_aseSnd: Event is out of sequence\n");
    RDA_aseSndLocalError(gidu, RDA_ASE_ERR_INVALID_SEQ);
    return;
  }
  const int32_t result = cb->stateCheck(cb->stateCk, gidu);
  QvSetOsiError(result);
  if (result == 0) return;
  TM_TRACE(rda_aseTMHandle, AL_TL_ERROR, kSrc, "*** rda_aseSnd: Can't processing input event\n");
  RDA_aseSndLocalError(gidu, static_cast<uint32_t>(result));
}

void rda_aseRcv(GIDU* gidu, PctxEntry* pctxTbl, void* aseBlock, SaoCB*) {
  AL_TRACE_GIDU(rda_aseTMHandle, AL_TL_ENTRY, kSrc, "rda_aseRcv", gidu, 1);
  if (gidu == nullptr) return;
  auto* cb = static_cast<RDA_AseCB*>(aseBlock);
  if (!alive(cb)) {
    TM_TRACE(rda_aseTMHandle, AL_TL_PARAM, kSrc, "*** rda_aseRcv: no RDA_AseCB for the association\n");
    QvSetOsiError(static_cast<int32_t>(RDA_ASE_ERR_NO_SUCH_ASECB));
    rda_aseQuickAborts(gidu, RDA_ASE_ERR_NO_SUCH_ASECB);
    return;
  }
  if (cb->role == RDA_ASE_ROLE_NONE) setRole(cb, RDA_ASE_ROLE_SERVER, gidu, pctxTbl);
  const int32_t result = cb->stateCheck(cb->stateCk, gidu);
  QvSetOsiError(result);
  if (result == 0) return;
  TM_TRACE(rda_aseTMHandle, AL_TL_ERROR, kSrc, "*** rda_aseRcv: Can't processing input event\n");
  rda_aseQuickAborts(gidu, static_cast<uint32_t>(result));
}

int32_t rda_aseInit() {
  RdaAseTLS* tls = getRdaAseTLS(0);
  if (tls == nullptr) {
    TM_TRACE(rda_aseTMHandle, TM_FATAL, kSrc, "*** rda_aseInit: no RDA-ASE record for the thread\n");
    return fail(RDA_ASE_ERR_NO_RESOURCE);
  }
  if (tls->head != nullptr) {
    TM_TRACE(rda_aseTMHandle, AL_TL_RESULT, kSrc, "rda_aseInit: RDA-ASE already initialized\n");
    return fail(RDA_ASE_ERR_INITIALIZED_ALREADY);
  }
  auto* head = static_cast<RDA_AseCBHead*>(_xm_allocItemWithTree(sizeof(RDA_AseCBHead), XM_ZERO));
  if (head == nullptr) {
    TM_TRACE(rda_aseTMHandle, TM_FATAL, kSrc, "*** rda_aseInit: Memory allocation failure for RDA_AseCBHead\n");
    return fail(RDA_ASE_ERR_NO_RESOURCE);
  }
  // The head is the list's sentinel: its links sit where a block's do.
  head->next = head->prev = reinterpret_cast<RDA_AseCB*>(head);
  head->count = 0;
  head->tree = xm_getParentOfItem(head);
  tls->head = head;
  TM_TRACE(rda_aseTMHandle, AL_TL_RESULT, kSrc, "rda_aseInit: RDA-ASE initialised successfully (aseCBHead = 0x%lx)\n",
           reinterpret_cast<unsigned long>(head));
  return 1;
}

int32_t rda_aseTerm() {
  RdaAseTLS* tls = getRdaAseTLS(0);
  if (tls == nullptr || tls->head == nullptr) {
    TM_TRACE(rda_aseTMHandle, AL_TL_RESULT, kSrc, "rda_aseTerm: RDA-ASE not initialised\n");
    return fail(RDA_ASE_ERR_NOT_INITIALIZED);
  }
  if (tls->head->count != 0) {
    TM_TRACE(rda_aseTMHandle, AL_TL_ERROR, kSrc, "*** rda_aseTerm: RDA-ASE has active users, cannot terminate\n");
    return fail(RDA_ASE_ERR_ACTIVE_USERS);
  }
  _xm_freeTree(tls->head->tree);
  tls->head = nullptr;
  TM_TRACE(rda_aseTMHandle, AL_TL_RESULT, kSrc, "rda_aseTerm: RDA-ASE terminated successfully\n");
  return 1;
}

void* rda_aseEstab() {
  RDA_AseCBHead* head = threadHead();
  if (head == nullptr) {
    TM_TRACE(rda_aseTMHandle, AL_TL_TABLE, kSrc, "*** rda_aseEstab: RDA-ASE not initialised\n");
    fail(RDA_ASE_ERR_NOT_INITIALIZED);
    return nullptr;
  }
  XmTree* tree = _xm_allocTree(head->tree);
  auto* cb = tree != nullptr ? static_cast<RDA_AseCB*>(_xm_allocItem(tree, sizeof(RDA_AseCB), XM_ZERO)) : nullptr;
  if (cb == nullptr) {
    TM_TRACE(rda_aseTMHandle, TM_FATAL, kSrc, "*** rda_aseEstab: Memory allocation failure for RDA_AseCB\n");
    if (tree != nullptr) _xm_freeTree(tree);
    fail(RDA_ASE_ERR_NO_RESOURCE);
    return nullptr;
  }
  cb->id = kRdaAseCbId;
  cb->stateCk = RDA_initStateCk(nullptr, nullptr, RDA_IDU_IN_AEHDR);
  if (cb->stateCk == nullptr) {
    TM_TRACE(rda_aseTMHandle, TM_FATAL, kSrc, "*** rda_aseEstab: Can't create state info for RDA ASE\n");
    _xm_freeTree(tree);
    fail(RDA_ASE_ERR_NO_RESOURCE);
    return nullptr;
  }
  cb->role = RDA_ASE_ROLE_NONE;
  cb->tree = tree;
  auto* sentinel = reinterpret_cast<RDA_AseCB*>(head);
  cb->next = sentinel;
  cb->prev = head->prev;
  head->prev->next = cb;
  head->prev = cb;
  ++head->count;
  TM_TRACE(rda_aseTMHandle, AL_TL_RESULT, kSrc, "rda_aseEstab: Association established successfully (aseCB = 0x%lx)\n",
           reinterpret_cast<unsigned long>(cb));
  return cb;
}

int32_t rda_aseRel(void* aseCB, int32_t mode) {
  auto* cb = static_cast<RDA_AseCB*>(aseCB);
  TM_TRACE(rda_aseTMHandle, AL_TL_RESULT, kSrc, "rda_aseRel: Terminating association for aseCB = 0x%lx\n",
           reinterpret_cast<unsigned long>(cb));
  RDA_AseCBHead* head = threadHead();
  if (head == nullptr) return fail(RDA_ASE_ERR_NOT_INITIALIZED);
  if (cb == nullptr || head->count == 0 || cb->id != kRdaAseCbId) {
    TM_TRACE(rda_aseTMHandle, AL_TL_TABLE, kSrc, "*** rda_aseRel: Null AseCB pointer or no aseCB in chain\n");
    return fail(RDA_ASE_ERR_NO_SUCH_ASECB);
  }
  switch (mode) {
    case 1:  // reset: the next first event sets a role again
      cb->role = RDA_ASE_ROLE_NONE;
      cb->stateCheck = nullptr;
      RDA_resetStateCk(cb->stateCk, nullptr, nullptr);
      return 1;
    case 0:
      cb->prev->next = cb->next;
      cb->next->prev = cb->prev;
      --head->count;
      RDA_termStateCk(cb->stateCk);
      cb->id = ~kRdaAseCbId;
      _xm_freeTree(cb->tree);
      TM_TRACE(rda_aseTMHandle, AL_TL_RESULT, kSrc, "rda_aseRel: Association released successfully\n");
      return 1;
    default:
      return fail(RDA_ASE_ERR_INVALID_PARAMETER);
  }
}

int32_t rda_aseStart(RDA_AseCB* cb) {
  TM_TRACE(rda_aseTMHandle, AL_TL_ENTRY, kSrc, "rda_aseStart() called: cb=0x%lx\n", reinterpret_cast<unsigned long>(cb));
  return 1;
}

int32_t RDA_isAseInitialized() { return threadHead() != nullptr ? 1 : 0; }

int32_t RDA_aseValidateCB(const RDA_AseCB* cb) {
  if (cb == nullptr) {
    TM_TRACE(rda_aseTMHandle, AL_TL_TABLE, kSrc, "*** RDA_aseValidateCB: Null RDA_AseCB pointer, cannot return error\n");
    return 0;
  }
  if (cb->id != kRdaAseCbId) {
    TM_TRACE(rda_aseTMHandle, AL_TL_TABLE, kSrc,
             "*** RDA_aseValidateCB: Invalid RDA_AseCB pointer, cannot return error\n");
    return 0;
  }
  TM_TRACE(rda_aseTMHandle, AL_TL_TRIVIA, kSrc, "RDA_aseValidateCB: The RDA_AseCB looks good\n");
  return 1;
}
