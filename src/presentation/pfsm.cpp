// The presentation state table and its entries.
#include "src/presentation/pfsm.h"

#include <array>

#include "common/timer2.h"
#include "src/presentation/perrno.h"
#include "src/presentation/pgidu.h"
#include "src/presentation/pidu.h"
#include "src/presentation/plock.h"
#include "src/presentation/pmachine.h"
#include "src/presentation/ps_trace.h"
#include "src/presentation/psend.h"
#include "src/runtime/xm.h"
#include "src/session/buffer_pool.h"
#include "src/session/tpi.h"

namespace {

constexpr const char* kSrc = "src/ps_fsm";

constexpr uint8_t kPaInvalid = 0;
constexpr uint8_t kPsInvalid = 1;

// The states in which an event is valid, one bit per state.
constexpr uint32_t kIdle = 1u << STAI0;
constexpr uint32_t kCalling = 1u << STAI1;
constexpr uint32_t kCalled = 1u << STAI2;
constexpr uint32_t kConnected = 1u << STAt0;
constexpr uint32_t kEvery = (1u << kPStates) - 1;

constexpr uint32_t validStates(uint32_t e) {
  switch (e) {
    case P_CON_REQ:
    case PS_CP:
      return kIdle;
    case PS_CPA:
    case PS_CONREF:
    case PS_CPR:
      return kCalling;
    case P_CON_ACC:
    case P_CON_REJ:
      return kCalled;
    case P_UAB_REQ:
      return kCalling | kCalled | kConnected;
    case PS_ARP:
    case PS_ARU:
      return kEvery & ~kIdle;
    case P_RCV_REQ:
    case PS_TF:
    case PS_FC:
    case PS_SAB_IND:
    case PS_RAB_IND:
      return kEvery;
    case 0:
    case 1:
    case P_ALTCTX_REQ:
    case P_ALTCTX_RSP:
    case PS_AC:
    case PS_ACA:
      return 0;
    default:
      return kConnected;
  }
}

constexpr std::array<uint8_t, kPfsmEvents * kPStates> buildTable() {
  std::array<uint8_t, kPfsmEvents * kPStates> t{};
  for (uint32_t e = 0; e < kPfsmEvents; ++e) {
    const uint8_t invalid = e == 1 || e >= PS_ACTD_IND ? kPsInvalid : kPaInvalid;
    for (uint32_t s = 0; s < kPStates; ++s)
      t[e * kPStates + s] = (validStates(e) & (1u << s)) != 0 ? static_cast<uint8_t>(e) : invalid;
  }
  return t;
}

constexpr std::array<uint8_t, kPfsmEvents * kPStates> kTable = buildTable();

}  // namespace

const uint8_t Ptable[kPfsmEvents * kPStates] = {
#define ROW(e)                                                                                                   \
  kTable[(e) * 7 + 0], kTable[(e) * 7 + 1], kTable[(e) * 7 + 2], kTable[(e) * 7 + 3], kTable[(e) * 7 + 4], \
      kTable[(e) * 7 + 5], kTable[(e) * 7 + 6]
    ROW(0),  ROW(1),  ROW(2),  ROW(3),  ROW(4),  ROW(5),  ROW(6),  ROW(7),  ROW(8),  ROW(9),  ROW(10), ROW(11),
    ROW(12), ROW(13), ROW(14), ROW(15), ROW(16), ROW(17), ROW(18), ROW(19), ROW(20), ROW(21), ROW(22), ROW(23),
    ROW(24), ROW(25), ROW(26), ROW(27), ROW(28), ROW(29), ROW(30), ROW(31), ROW(32), ROW(33), ROW(34), ROW(35),
    ROW(36), ROW(37), ROW(38), ROW(39), ROW(40), ROW(41), ROW(42), ROW(43), ROW(44), ROW(45), ROW(46), ROW(47),
    ROW(48), ROW(49), ROW(50), ROW(51), ROW(52), ROW(53), ROW(54), ROW(55), ROW(56), ROW(57), ROW(58), ROW(59),
    ROW(60), ROW(61), ROW(62), ROW(63), ROW(64), ROW(65), ROW(66), ROW(67), ROW(68), ROW(69), ROW(70), ROW(71),
    ROW(72), ROW(73), ROW(74), ROW(75),
#undef ROW
};

const PAction Pproc[kPfsmEvents] = {
    paINVALID, psINVALID, paACTDREQ, paACTDRSP, paACTEREQ, paACTERSP, paACTIREQ, paACTIRSP, paACTRREQ,
    paACTSREQ, paCDREQ,   paCDRSP,   paCGREQ,   paUERREQ,  paCONREQ,  paCONACC,  paCONREJ,  paDTREQ,
    paEXREQ,   paRECEIVE, paGTREQ,   paPTREQ,   paUABREQ,  paRELREQ,  paRELACC,  paRELREF,  paRSYNAB,
    paRSYNRES, paRSYNSET, paRSYNRSP, paSYNMREQ, paSYNMRSP, paSYNREQ,  paSYNRSP,  paTDREQ,   paINVALID,
    paINVALID, psACTDIND, psACTDCNF, psACTEIND, psACTECNF, psACTIIND, psACTICNF, psACTRIND, psACTSIND,
    psCDIND,   psCDCNF,   psCGIND,   psPERIND,  psUERIND,  psCP,      psCPA,     psCONREF,  psCPR,
    psTD,      psTE,      psTF,      psFC,      psGTIND,   psPTIND,   psARP,     psARU,     psSABIND,
    psRABIND,  psRELIND,  psRELCNF,  psRELREF,  psRS,      psRSA,     psSYNMIND, psSYNMCNF, psSYNIND,
    psSYNCNF,  psTTD,     psINVALID, psINVALID,
};

const char* const ptrname[kPfsmEvents] = {
    "paINVALID", "psINVALID", "paACTDREQ", "paACTDRSP", "paACTEREQ", "paACTERSP", "paACTIREQ", "paACTIRSP",
    "paACTRREQ", "paACTSREQ", "paCDREQ",   "paCDRSP",   "paCGREQ",   "paUERREQ",  "paCONREQ",  "paCONACC",
    "paCONREJ",  "paDTREQ",   "paEXREQ",   "paRECEIVE", "paGTREQ",   "paPTREQ",   "paUABREQ",  "paRELREQ",
    "paRELACC",  "paRELREF",  "paRSYNAB",  "paRSYNRES", "paRSYNSET", "paRSYNRSP", "paSYNMREQ", "paSYNMRSP",
    "paSYNREQ",  "paSYNRSP",  "paTDREQ",   "paINVALID", "paINVALID", "psACTDIND", "psACTDCNF", "psACTEIND",
    "psACTECNF", "psACTIIND", "psACTICNF", "psACTRIND", "psACTSIND", "psCDIND",   "psCDCNF",   "psCGIND",
    "psPERIND",  "psUERIND",  "psCP",      "psCPA",     "psCONREF",  "psCPR",     "psTD",      "psTE",
    "psTF",      "psFC",      "psGTIND",   "psPTIND",   "psARP",     "psARU",     "psSABIND",  "psRABIND",
    "psRELIND",  "psRELCNF",  "psRELREF",  "psRS",      "psRSA",     "psSYNMIND", "psSYNMCNF", "psSYNIND",
    "psSYNCNF",  "psTTD",     "psAC",      "psACA",
};

const char* const states[kPStates] = {"STAI0", "STAI1", "STAI2", "STAt0", "STAac0", "STAac1", "STAac2"};

uint32_t p_fsm(Pmachine* pm, PIDU* pidu) {
  const uint32_t s = pm->state < kPStates ? pm->state : STAI0;
  const uint32_t e = pidu->event;
  const uint32_t buffers = QvGetSbCount();
  PsLock lock;
  if (e >= kPfsmEvents) {
    QvSetOsiError(static_cast<int32_t>(PE_EVENT_INV));
    return 0;
  }
  const uint8_t cell = Ptable[e * kPStates + s];
  TM_TRACE(ps_TM_handle, 64, kSrc, "\np_fsm: p=%lx state=%s event=%u s_bcount=%u p->s=%lx %s\n\n",
           reinterpret_cast<unsigned long>(pm), states[s], e, buffers, reinterpret_cast<unsigned long>(pm->s),
           ptrname[cell]);
  const uint32_t r = Pproc[cell](pm, pidu, cell);
  const bool live = find_pm_pm(pm) != nullptr;
  TM_TRACE(ps_TM_handle, 64, kSrc, "\n## result=%lx p=%lx new-state=%s\n\n", static_cast<unsigned long>(r),
           reinterpret_cast<unsigned long>(pm), live && pm->state < kPStates ? states[pm->state] : states[STAI0]);
  return r;
}

// ---------------------------------------------------------------------------
// Entries

void P_free_pidu_error(PIDU* pidu, Pmachine* pm) {
  if (pidu == nullptr) return;
  PsLock lock;
  const AbsSyntaxTable* table = find_pm_pm(pm) != nullptr ? pm_asTable(pm) : nullptr;
  for (DElemLink* p = pidu->dataList.next; p != nullptr && p != &pidu->dataList; p = p->next) {
    auto* e = static_cast<DElem*>(p);
    if (table == nullptr || e->pctxId < 0 || e->pctxId >= kPsMaxContexts) continue;
    const int32_t asIdx = pm->pcdt[e->pctxId].asIdx;
    if (asIdx < 0 || asIdx >= kPsMaxAsyn || table->entries[asIdx].id.count == kPsFreeEntry) {
      TM_TRACE(ps_TM_handle, 8, kSrc, "No valid abs syntax for context\n");
      continue;
    }
    if (table->entries[asIdx].format == nullptr && e->value != nullptr) {
      s_freeChain(static_cast<SessionBuffer*>(e->value));
      e->value = nullptr;
      TM_TRACE(ps_TM_handle, 64, kSrc, "Freed a pre-encoded session buffer\n");
    }
  }
  p_free_pidu(pidu);
}

namespace {

// A reference to a machine that has gone can meet another connection's
// machine at the same address. The user's reference for the connection,
// which every request after the connect carries, tells them apart: a
// machine that has one answers only to it.
bool anotherConnection(const Pmachine* pm, uint64_t userRef) {
  if (userRef == 0 || pm->connRef == 0 || pm->connRef == userRef) return false;
  TM_TRACE(ps_TM_handle, 8, kSrc, "The machine %lx belongs to another connection\n", reinterpret_cast<unsigned long>(pm));
  QvSetOsiError(static_cast<int32_t>(PE_PCEP_INVALID));
  return true;
}

}  // namespace

uint32_t psp(GIDU* gidu) {
  PsLock lock;
  if (gidu == nullptr) {
    TM_TRACE(ps_TM_handle, 8, kSrc, "\nReceived a NULL GenericIDU\n\n");
    QvSetOsiError(static_cast<int32_t>(PE_MISS_PARM));
    return 0;
  }
  if (gidu->event == AL_QABORT) {
    TM_TRACE(ps_TM_handle, 1, kSrc, "\nReceived a quick abort from the P User\n\n");
    auto* pm = static_cast<Pmachine*>(gidu->pc);
    if (find_pm_pm(pm) != nullptr && anotherConnection(pm, reinterpret_cast<uintptr_t>(gidu->uc))) {
      _xm_freeTree(xm_getParentOfItem(gidu));
      return 0;
    }
    const int32_t sent = PsendQabortDown(pm);
    _xm_freeTree(xm_getParentOfItem(gidu));
    if (sent == 0) return 0;
    // The connection is over: nothing will ask for the machine again, and
    // its session connection must not be taken for a later one.
    pm->state = STAI0;
    pm_dealloc(pm);
    return 1;
  }
  auto* pidu = static_cast<PIDU*>(gidu->idu);
  if (pidu == nullptr) {
    TM_TRACE(ps_TM_handle, 8, kSrc, "\nReceived a NULL PIDU\n\n");
    _xm_freeTree(xm_getParentOfItem(gidu));
    return 0;
  }
  // Session-side events come from the session layer only.
  if (pidu->event == 1 || (pidu->event >= PS_ACTD_IND && pidu->event < kPfsmEvents)) {
    p_free_pidu(pidu);
    QvSetOsiError(static_cast<int32_t>(PE_EVENT_INV));
    return 0;
  }
  auto* pm = static_cast<Pmachine*>(gidu->pc);
  const uint64_t userRef = P_tempConvert(pidu->userRef, reinterpret_cast<uintptr_t>(gidu->uc));
  if (pm == nullptr) {
    if (userRef == 0) {
      TM_TRACE(ps_TM_handle, 8, kSrc, "There must be a user ref if no prov ref given\n");
      p_free_pidu(pidu);
      QvSetOsiError(static_cast<int32_t>(PE_SEQUENCE));
      return 0;
    }
    pm = find_pm_apref(userRef);
    if (pm == nullptr) {
      TM_TRACE(ps_TM_handle, 8, kSrc, "There no machine for the given apref\n");
      p_free_pidu(pidu);
      QvSetOsiError(static_cast<int32_t>(PE_APREF_NOT));
      return 0;
    }
  }
  if (find_pm_pm(pm) == nullptr) {
    TM_TRACE(ps_TM_handle, 8, kSrc, "There no connection machine was found for this request\n");
    p_free_pidu(pidu);
    QvSetOsiError(static_cast<int32_t>(PE_PCEP_INVALID));
    return 0;
  }
  if (anotherConnection(pm, userRef)) {
    p_free_pidu(pidu);
    return 0;
  }
  if (pidu->event == P_CON_ACC) {
    pm->userRef = reinterpret_cast<uintptr_t>(gidu->ue);
    pm->connRef = userRef;
  }
  QvSetOsiError(0);
  pm->lastError = 0;
  const uint32_t r = p_fsm(pm, pidu);
  if (r != 0) p_free_pidu(pidu);
  else P_free_pidu_error(pidu, pm);
  return r;
}

Pmachine* p_connect(GIDU* gidu) {
  PsLock lock;
  PIDU* pidu = gidu != nullptr ? static_cast<PIDU*>(gidu->idu) : nullptr;
  if (pidu == nullptr) {
    if (gidu != nullptr) _xm_freeTree(xm_getParentOfItem(gidu));
    QvSetOsiError(static_cast<int32_t>(PE_MISS_PARM));
    return nullptr;
  }
  const OctStgV calling{pidu->local.pSel.length > 0 ? static_cast<uint32_t>(pidu->local.pSel.length) : 0,
                        pidu->local.pSel.octets};
  PsUser* user = p_connect_user(&calling);
  if (user == nullptr) {
    p_free_pidu(pidu);
    return nullptr;
  }
  Pmachine* pm = pm_alloc(&user->addr.psel, nullptr, user, reinterpret_cast<uintptr_t>(gidu->ue));
  if (pm == nullptr) {
    p_free_pidu(pidu);
    return nullptr;
  }
  pm->connRef = P_tempConvert(pidu->userRef, reinterpret_cast<uintptr_t>(gidu->uc));
  pidu->event = P_CON_REQ;
  QvSetOsiError(0);
  if (p_fsm(pm, pidu) == 0) {
    P_free_pidu_error(pidu, pm);
    pm_dealloc(pm);
    return nullptr;
  }
  p_free_pidu(pidu);
  return pm;
}

void p_destruct(Pmachine* pm) {
  if (pm != nullptr) s_destruct(pm->s);
}
