// Indications and confirms to the presentation user.
#include "src/presentation/pind.h"

#include <cstring>

#include "common/timer2.h"
#include "src/presentation/management.h"
#include "src/presentation/perrno.h"
#include "src/presentation/pevents.h"
#include "src/presentation/pgidu.h"
#include "src/presentation/pidu.h"
#include "src/presentation/pmachine.h"
#include "src/presentation/ppdu.h"
#include "src/presentation/ppdu_build.h"
#include "src/presentation/ps_trace.h"
#include "src/presentation/psend.h"
#include "src/runtime/xm.h"

namespace {

int32_t fail(uint32_t err) {
  QvSetOsiError(static_cast<int32_t>(err));
  return 0;
}

// Provider reason and event identifier of an ARP for a connect PPDU that
// names an unknown mode or protocol version.
constexpr int32_t kReasonInvalidParameter = 6;
constexpr int32_t kEventCp = 0;
constexpr int32_t kEventCpa = 1;
// Provider reason of a CPR: protocol version not supported.
constexpr int32_t kReasonVersion = 4;

// Address flag of the presentation selector.
constexpr uint32_t kAddrPsel = 1;

XmTree* treeOf(const PIDU* pidu) { return xm_getParentOfItem(const_cast<PIDU*>(pidu)); }

void* asPointer(uint64_t v) { return reinterpret_cast<void*>(static_cast<uintptr_t>(v)); }

// How an indication takes its user data from inf.
enum class Data { None, IfAny, IfAnyV2, Always };

Data dataRule(uint32_t event) {
  switch (event) {
    case P_ACTD_IND:
    case P_ACTD_CNF:
    case P_ACTI_IND:
    case P_ACTI_CNF:
    case P_CG_IND:
    case P_GT_IND:
      return Data::IfAnyV2;
    case P_PER_IND:
    case P_DT_CNF:
    case P_FC_IND:
      return Data::None;
    case P_DT_IND:
    case P_EX_IND:
      return Data::Always;
    default:
      return Data::IfAny;
  }
}

// A selector of a decoded PPDU into a PIDU selector, copied into the PIDU's
// tree; false on no memory.
bool takeSelector(const PselBlock& from, PIDU* pidu, int32_t* length, uint8_t** octets) {
  *length = static_cast<int32_t>(from.length);
  *octets = nullptr;
  if (from.length == 0) return true;
  auto* p = static_cast<uint8_t*>(_xm_allocItem(treeOf(pidu), from.length, 0));
  if (p == nullptr) return false;
  std::memcpy(p, from.octets, from.length);
  *octets = p;
  return true;
}

bool takeSelector(const PselBlock& from, PIDU* pidu, OctStgV* to) {
  int32_t length = 0;
  if (!takeSelector(from, pidu, &length, &to->octets)) return false;
  to->length = static_cast<uint32_t>(length);
  return true;
}

bool takeSelector(const PselBlock& from, PIDU* pidu, PSelector* to) {
  return takeSelector(from, pidu, &to->length, &to->octets);
}

// An X.410-mode record of the given kind on the PIDU; false on no memory.
bool x410Record(PIDU* pidu, uint32_t kind, const void* fields, size_t size) {
  auto* x = static_cast<PsX410Params*>(_xm_allocItem(treeOf(pidu), sizeof(PsX410Params), XM_ZERO));
  if (x == nullptr) return false;
  x->mode = kind;
  std::memcpy(&x->rtorq, fields, size);
  pidu->x410Params = x;
  return true;
}

// The i-th result of a received result list into the PIDU's result array,
// at the slot of the i-th context the connection proposed (slots with a
// map entry, in slot order); results beyond the slots are ignored.
void placeResults(const Pmachine* pm, const Result_list& list, PIDU* pidu) {
  uint32_t next = 0;
  for (int32_t s = 0; s < kPsMaxContexts && next < list.count && next < kPsMaxListItems; ++s) {
    if (pm->idMap[s] == -1) continue;
    pidu->ctxResultList[s] = static_cast<int32_t>(list.items[next++].result);
  }
}

// Whether a data element of the PIDU lies in the buffers of the chain.
bool carriesChain(const PIDU* pidu, const SessionBuffer* chain) {
  for (const DElemLink* l = pidu->dataList.next; l != nullptr && l != &pidu->dataList; l = l->next) {
    const void* value = static_cast<const DElem*>(l)->value;
    if (value == nullptr) continue;
    const SessionBuffer* b = chain;
    do {
      if (value == b) return true;
      b = b->next;
    } while (b != nullptr && b != chain);
  }
  return false;
}

void noMemory(Pmachine* pm, PIDU* pidu) {
  QvSetOsiError(static_cast<int32_t>(PE_MALLOC));
  PquickAbort(pm, pidu);
}

// Ends a connection whose connect PPDU could not be taken: the machine is
// released and the PIDU freed.
void dropConnection(Pmachine* pm, PIDU* pidu) {
  pm->state = STAI0;
  pm_dealloc(pm);
  p_free_pidu(pidu);
}

}  // namespace

SessionBuffer* p_keptChain = nullptr;

// ---------------------------------------------------------------------------
// Wrapping and delivery

GIDU* P_encapsulate(PIDU* pidu, Pmachine* pm, uint64_t connRef, uint64_t userRef) {
  XmTree* tree = _xm_allocTree(nullptr);
  auto* g = tree != nullptr ? static_cast<GIDU*>(_xm_allocItem(tree, sizeof(GIDU), XM_ZERO)) : nullptr;
  if (g == nullptr) {
    if (tree != nullptr) _xm_freeTree(tree);
    QvSetOsiError(static_cast<int32_t>(PE_MALLOC));
    return nullptr;
  }
  g->event = AL_EV_PRIMITIVE;
  g->iduType = AL_IDU_PRES;
  g->idu = pidu;
  g->uc = asPointer(connRef);
  g->pc = pm;
  g->ue = asPointer(userRef);
  g->errNo = static_cast<uint32_t>(QvGetOsiError());
  al_selfLink(g);
  if (XmTree* own = treeOf(pidu)) _xm_moveTree(tree, own);
  return g;
}

bool P_deliver(Pmachine* pm, PIDU* pidu, uint32_t event) {
  pidu->event = event;
  PsIndication callback = pm->user != nullptr ? pm->user->callback : nullptr;
  if (callback == nullptr) {
    p_free_pidu(pidu);
    return true;
  }
  GIDU* g = P_encapsulate(pidu, pm, pm->connRef, pm->userRef);
  if (g == nullptr) {
    PquickAbort(pm, pidu);
    return false;
  }
  if (p_keptChain != nullptr && carriesChain(pidu, p_keptChain)) p_keptChain = nullptr;
  (void)callback(g);
  return true;
}

// ---------------------------------------------------------------------------
// User data and connection words

int32_t get_userdata(Pmachine* pm, PIDU* pidu, User_data* record) {
  if (record == nullptr || pidu == nullptr) return 0;
  XmTree* tree = treeOf(pidu);
  auto append = [&](int32_t ctx, uint32_t encoding, void* value) {
    auto* e = static_cast<DElem*>(_xm_allocItem(tree, sizeof(DElem), XM_ZERO));
    if (e == nullptr) return false;
    e->pctxId = ctx;
    e->encoding = encoding;
    e->value = value;
    e->next = &pidu->dataList;
    e->prev = pidu->dataList.prev;
    pidu->dataList.prev->next = e;
    pidu->dataList.prev = e;
    return true;
  };
  if (record->kind == kUserDataSimple) {
    int32_t ctx = -1;
    if (pidu->event != P_EX_IND && pm->definedCount != 0) {
      ctx = 0;
      for (int32_t s = 0; s < kPsMaxContexts; ++s) {
        if (pm->pcdt[s].ctxId != -1 && pm->pcdt[s].result == kPcdtAccepted) {
          ctx = s;
          break;
        }
      }
    }
    if (!append(ctx, kEncSingleAsn1, record->simple.value)) return fail(PE_MALLOC);
    record->simple.value = nullptr;
    return 1;
  }
  if (record->kind != kUserDataFull) return 1;
  const UL_Link* head = &record->full.list.links;
  for (const UL_Link* l = head->next; l != nullptr && l != head; l = l->next) {
    const PdvType* pdv = reinterpret_cast<const PdvNode*>(l)->pdv;
    if (pdv == nullptr) continue;
    const auto slot = static_cast<int32_t>(pdv->context);
    if (slot < 0 || slot >= kPsMaxContexts) continue;
    if (pdv->tsName.count != kObjIdAbsent) {
      const int32_t t = find_tsidx_obj(&pdv->tsName);
      const AbsSyntaxTable* table = pm_asTable(pm);
      if (t < 0 || table == nullptr || find_tsidx_as_ts(pm->pcdt[slot].asIdx, t, table) == 0) continue;
    }
    for (const PdvType* seg = pdv; seg != nullptr; seg = seg->next)
      if (!append(slot, seg->encoding, seg->value)) return fail(PE_MALLOC);
  }
  return 1;
}

uint32_t cnvtUsrSesReq(uint32_t bits) {
  uint32_t word = 0;
  for (uint32_t n = 0; n < 16; ++n) {
    const uint32_t mask = (0x80u >> (n % 8)) << (8 * (n / 8));
    if ((bits & mask) == 0) continue;
    if (n >= 11) {
      QvSetOsiError(static_cast<int32_t>(PE_USER_SESS_INV));
      return 0;
    }
    word |= 1u << n;
  }
  return word;
}

uint32_t pvSess(Pmachine*, uint32_t bits) {
  if ((bits & 2) != 0) return 2;
  if ((bits & 1) != 0) return 1;
  QvSetOsiError(static_cast<int32_t>(PE_SESS_VERS));
  return 0;
}

uint32_t pvSessChk(Pmachine* pm, uint32_t bits) {
  if ((bits & 3) == 0) {
    QvSetOsiError(static_cast<int32_t>(PE_SESS_VERS));
    return 0;
  }
  if (pm != nullptr) pm->sessVersion = bits;
  return bits;
}

// ---------------------------------------------------------------------------
// Builders

void P_indicate(Pmachine* pm, PIDU* pidu, uint32_t event) {
  pidu->event = event;
  bool take = false;
  switch (dataRule(event)) {
    case Data::None:
      break;
    case Data::IfAny:
      take = inf.kind != 0;
      break;
    case Data::IfAnyV2:
      take = inf.kind != 0 && pm->sessVersion == 2;
      break;
    case Data::Always:
      take = true;
      break;
  }
  if (take && get_userdata(pm, pidu, &inf) == 0) return noMemory(pm, pidu);
  (void)P_deliver(pm, pidu, event);
}

void PCONind(Pmachine* pm, PIDU* pidu) {
  pidu->event = P_CON_IND;
  if ((cp.presence & kCpNormal) == 0 || cp.mode.value != kModeNormal) {
    if (cp.mode.value != kModeX410) {
      if (ppduARP(pm, nullptr, kReasonInvalidParameter, kEventCp) == 0) (void)PsendQabortDown(pm);
      return dropConnection(pm, pidu);
    }
    if (!x410Record(pidu, kX410Rtorq, &cp.x410, sizeof cp.x410)) return noMemory(pm, pidu);
    pidu->flag2 = 0;
  } else {
    const CP_normal& n = cp.normal;
    // The versions the caller offers: version 1 among them will do.
    if ((n.protocolVersion & kProtocolVersion1) == 0) {
      (void)conn_prej(pm, pidu, kReasonVersion);
      return dropConnection(pm, pidu);
    }
    if ((n.presence & kCpCalling) != 0) {
      if (!takeSelector(n.calling, pidu, &pidu->remote.pSel)) return noMemory(pm, pidu);
      pidu->remote.mask |= kAddrPsel;
    }
    if ((n.presence & kCpCalled) != 0 && !takeSelector(n.called, pidu, &pidu->local.pSel))
      return noMemory(pm, pidu);
    for (int32_t s = 0; s < kPsMaxContexts; ++s) {
      pidu->ctxDefList[s] = pm->pcdt[s].asIdx;
      pidu->ctxResultList[s] = static_cast<int32_t>(pm->pcdt[s].result);
    }
    pidu->dfltCtx = pm->dfltAsIdx;
    pidu->dfltResult = static_cast<int32_t>(pm->dfltResult);
    pidu->presRequirements = n.presRequirements;
    pm->pRequirements = n.presRequirements;
    const uint32_t user =
        (n.presence & kCpUserSessRequirements) != 0 ? cnvtUsrSesReq(n.userSessRequirements) : 0;
    if (user != 0) pidu->sessRequirements = user;
    pm->sRequirements = pidu->sessRequirements;
    if (get_userdata(pm, pidu, &cp.normal.userData) == 0) return noMemory(pm, pidu);
  }
  pm->sessVersion = pidu->sessVersion;
  pidu->flag1 = 1;
  (void)P_deliver(pm, pidu, P_CON_IND);
}

void PCONcnf(Pmachine* pm, PIDU* pidu) {
  pidu->event = P_CON_CNF;
  if ((cpa.presence & kCpaNormal) == 0 || cpa.mode.value != kModeNormal) {
    const bool x410 = cpa.mode.value == kModeX410 && (cpa.presence & kCpaX410) != 0;
    if (!x410) {
      if (ppduARP(pm, nullptr, kReasonInvalidParameter, kEventCpa) == 0) (void)PsendQabortDown(pm);
      pm->state = STAI0;
      PRABind(pm, pidu);
      if (find_pm_pm(pm) != nullptr && pm->state == STAI0) pm_dealloc(pm);
      return;
    }
    if (!x410Record(pidu, kX410Rtoac, &cpa.x410, sizeof cpa.x410)) return noMemory(pm, pidu);
  } else {
    const CPA_normal& n = cpa.normal;
    if (n.protocolVersion != kProtocolVersion1) {
      if (ppduARP(pm, nullptr, kReasonInvalidParameter, kEventCpa) == 0) (void)PsendQabortDown(pm);
      pm->state = STAI0;
      PRABind(pm, pidu);
      if (find_pm_pm(pm) != nullptr && pm->state == STAI0) pm_dealloc(pm);
      return;
    }
    if ((n.presence & kCpaResponding) != 0) {
      if (!takeSelector(n.responding, pidu, &pidu->responding.pSel)) return noMemory(pm, pidu);
      pidu->responding.flags |= kAddrPsel;
    }
    const uint32_t user =
        (n.presence & kCpaUserSessRequirements) != 0 ? cnvtUsrSesReq(n.userSessRequirements) : 0;
    if (user != 0) pidu->sessRequirements = user;
    pidu->presRequirements = n.presRequirements;
    pm->pRequirements = n.presRequirements;
    if ((n.presence & kCpaResults) != 0) placeResults(pm, n.results, pidu);
    if (get_userdata(pm, pidu, &cpa.normal.userData) == 0) return noMemory(pm, pidu);
  }
  pm->sRequirements = pidu->sessRequirements;
  pm->tokenItem = pidu->tokenItem;
  pm->serialNumber = static_cast<uint32_t>(pidu->serial);
  // From here on the version is the one the session layer settled.
  pm->sessVersion = pidu->sessVersion;
  pidu->flag1 = 1;
  (void)P_deliver(pm, pidu, P_CON_CNF);
}

void PCONref(Pmachine* pm, PIDU* pidu) {
  pidu->event = P_CON_REF;
  int32_t reason = -1;
  if (cpr.kind == kPpduSet) {
    if (!x410Record(pidu, kX410Rtorj, &cpr.x410, sizeof cpr.x410)) return noMemory(pm, pidu);
  } else {
    const CPR_normal& n = cpr.normal;
    if ((n.presence & kCprResponding) != 0) {
      if (!takeSelector(n.responding, pidu, &pidu->responding.pSel)) return noMemory(pm, pidu);
      pidu->responding.flags |= kAddrPsel;
    }
    if ((n.presence & kCprResults) != 0) placeResults(pm, n.results, pidu);
    if ((n.presence & kCprDefaultResult) != 0) pidu->dfltResult = n.defaultResult;
    if ((n.presence & kCprProviderReason) != 0) reason = n.providerReason;
    if (get_userdata(pm, pidu, &cpr.normal.userData) == 0) return noMemory(pm, pidu);
  }
  pidu->reason = reason;
  const void* remote = &pidu->remote;
  const void* responding = &pidu->responding;
  if (reason == -1 || reason == 0) P_increment(&cprRcvNoReason, pm, remote, responding, reason);
  else if (reason >= 2 && reason <= 6) P_increment(&cprRcvPermGrp, pm, remote, responding, reason);
  else if (reason == 1 || reason == 7) P_increment(&cprRcvTransGrp, pm, remote, responding, reason);
  (void)P_deliver(pm, pidu, P_CON_REF);
}

void PCONref2(Pmachine* pm, PIDU* pidu) {
  pidu->flag1 = 1;
  (void)P_deliver(pm, pidu, P_CON_REF);
}

void PPABind(Pmachine* pm, PIDU* pidu) {
  if (pm->user == nullptr) return p_free_pidu(pidu);
  pidu->reason = -1;
  if (abrt.kind == kPpduSequence) {
    if ((abrt.arp.presence & kArpReason) != 0) pidu->reason = abrt.arp.providerReason;
    if ((abrt.arp.presence & kArpEvent) != 0) pidu->eventId = static_cast<uint32_t>(abrt.arp.eventId);
  }
  (void)P_deliver(pm, pidu, P_PAB_IND);
}

void PUABind(Pmachine* pm, PIDU* pidu) {
  if (abrt.kind == kPpduAruNormal) {
    if ((abrt.aru.presence & kAruContextIds) != 0) {
      for (uint32_t i = 0; i < abrt.aru.contextIds.count && i < kPsMaxListItems; ++i) {
        const int32_t id = abrt.aru.contextIds.items[i].pctxId;
        if (id >= 0 && id < kPiduCtxCount) pidu->ctxIdList[id] = id;
      }
    }
    if ((abrt.aru.presence & kAruUserData) != 0 && get_userdata(pm, pidu, &abrt.aru.userData) == 0)
      return noMemory(pm, pidu);
  } else if (abrt.kind == kPpduSet) {
    if (!x410Record(pidu, 3, &abrt.x410, sizeof abrt.x410)) return noMemory(pm, pidu);
  }
  (void)P_deliver(pm, pidu, P_UAB_IND);
}

void PSABind(Pmachine* pm, PIDU* pidu) {
  if (pm->user == nullptr) return p_free_pidu(pidu);
  pidu->reason = 0;
  (void)P_deliver(pm, pidu, P_SAB_IND);
}

void PRABind(Pmachine* pm, PIDU* pidu) {
  if (pm->user == nullptr) return p_free_pidu(pidu);
  (void)P_deliver(pm, pidu, P_RAB_IND);
}

namespace {

void resync(Pmachine* pm, PIDU* pidu, RS_PPDU& record, uint32_t event) {
  if ((record.presence & kRsContextIds) != 0) return PquickAbort(pm, pidu);
  if ((record.presence & kRsUserData) != 0 && get_userdata(pm, pidu, &record.userData) == 0)
    return noMemory(pm, pidu);
  (void)P_deliver(pm, pidu, event);
}

}  // namespace

void RSYNind(Pmachine* pm, PIDU* pidu) { resync(pm, pidu, rs, P_RSYN_IND); }
void RSYNcnf(Pmachine* pm, PIDU* pidu) { resync(pm, pidu, rsa, P_RSYN_CNF); }

void PTDind(Pmachine* pm, PIDU* pidu) {
  pidu->event = P_TD_IND;
  if (get_userdata(pm, pidu, &ttd.ttd) == 0) return noMemory(pm, pidu);
  (void)P_deliver(pm, pidu, P_TD_IND);
}
