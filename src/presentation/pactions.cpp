// Action routines of the presentation protocol machine.
#include "src/presentation/pactions.h"

#include "common/timer2.h"
#include "src/presentation/contexts.h"
#include "src/presentation/perrno.h"
#include "src/presentation/pevents.h"
#include "src/presentation/pidu.h"
#include "src/presentation/pind.h"
#include "src/presentation/pmachine.h"
#include "src/presentation/ppdu.h"
#include "src/presentation/ppdu_build.h"
#include "src/presentation/ps_trace.h"
#include "src/presentation/psend.h"

namespace {

constexpr const char* kSrc = "src/ps_action";

// ISO 8823 abort reasons and event identifiers used here.
constexpr int32_t kAbortUnexpectedPpdu = 2;
constexpr int32_t kAbortUnexpectedSpdu = 3;
constexpr int32_t kAbortInvalidParameter = 6;
constexpr int32_t kAbsent = -1;

// Provider reasons of a refused CP.
constexpr int32_t kRefuseNotSpecified = 0;
constexpr int32_t kRefuseLocalLimit = 2;
constexpr int32_t kRefuseCalledUnknown = 3;
constexpr int32_t kRefuseDefaultContext = 5;
constexpr int32_t kRefuseUnreadable = 6;

uint32_t fail(uint32_t err) {
  QvSetOsiError(static_cast<int32_t>(err));
  return 0;
}

bool hasData(const PIDU* pidu) { return pidu->dataList.next != &pidu->dataList; }

const DElem* firstElement(const PIDU* pidu) { return static_cast<const DElem*>(pidu->dataList.next); }

template <class Fn>
bool eachElement(const PIDU* pidu, Fn fn) {
  for (const DElemLink* p = pidu->dataList.next; p != &pidu->dataList; p = p->next)
    if (!fn(*static_cast<const DElem*>(p))) return false;
  return true;
}

bool definedSlot(const Pmachine* pm, int32_t slot) {
  return slot >= 0 && slot < kPsMaxContexts && pm->pcdt[slot].ctxId != -1;
}

bool marked(const Pmachine* pm, int32_t slot) {
  return slot >= 0 && slot < kPsMaxContexts && pm->ctxMarks[slot] != 0;
}

// The PDV-lists of fully encoded user data; `fn` gets each.
template <class Fn>
bool eachPdv(const User_data* data, Fn fn) {
  if (data == nullptr || data->kind != kUserDataFull) return true;
  const UL_Link* head = &data->full.list.links;
  for (const UL_Link* l = head->next; l != nullptr && l != head; l = l->next) {
    const PdvType* pdv = reinterpret_cast<const PdvNode*>(l)->pdv;
    if (pdv != nullptr && !fn(*pdv)) return false;
  }
  return true;
}

// The state after an abort or a final release indication: STAI0 first; the
// machine goes unless the user took it up again from its callback.
template <class Fn>
uint32_t endWith(Pmachine* pm, PIDU* pidu, Fn indicate) {
  pm->state = STAI0;
  indicate(pm, pidu);
  releaseIfIdle(pm);
  return 1;
}

// A data-carrying request of the user: its user data checked and built into
// inf, then the sender, told whether there was any.
using DataSender = int32_t (*)(Pmachine*, PIDU*, uint32_t);
uint32_t dataRequest(Pmachine* pm, PIDU* pidu, DataSender sender, bool version2Only) {
  const bool data = hasData(pidu);
  if (data) {
    if (version2Only && pm->sessVersion == 1) return fail(PE_SESS_VERS);
    if (pm->x410Mode == 0 && p07_delem(pm, pidu) == 0) return 0;
    if (put_userdata(pm, pidu, &inf, 0) == 0) return 0;
  }
  return sender(pm, pidu, data ? 0 : 1) != 0 ? 1 : 0;
}

// A request whose PPDU builder sends: the user data checked first.
using Builder = int32_t (*)(Pmachine*, PIDU*);
uint32_t builtRequest(Pmachine* pm, PIDU* pidu, Builder build, bool needsData) {
  if (needsData && !hasData(pidu)) return fail(PE_MISS_DE);
  if (hasData(pidu) && pm->x410Mode == 0 && p07_delem(pm, pidu) == 0) return 0;
  return build(pm, pidu) != 0 ? 1 : 0;
}

// The session-side events that only check the user data (or nothing) and
// hand it on.
struct Passing {
  uint32_t event;
  bool checkInfo;   // p07_info on inf, outside X.410 mode
  int32_t eventId;  // of the abort when the check fails
  uint32_t indication;
};
constexpr Passing kPassing[] = {
    {PS_ACTD_IND, false, 29, P_ACTD_IND}, {PS_ACTD_CNF, false, 30, P_ACTD_CNF},
    {PS_ACTE_IND, true, 31, P_ACTE_IND},  {PS_ACTE_CNF, true, 32, P_ACTE_CNF},
    {PS_ACTI_IND, false, 27, P_ACTI_IND}, {PS_ACTI_CNF, false, 28, P_ACTI_CNF},
    {PS_ACTR_IND, true, 26, P_ACTR_IND},  {PS_ACTS_IND, true, 25, P_ACTS_IND},
    {PS_CD_IND, true, 10, P_CD_IND},      {PS_CD_CNF, true, 11, P_CD_CNF},
    {PS_CG_IND, false, 18, P_CG_IND},     {PS_PER_IND, false, 23, P_PER_IND},
    {PS_UER_IND, true, 24, P_UER_IND},    {PS_TD, true, 7, P_DT_IND},
    {PS_FC, false, -1, P_FC_IND},         {PS_GT_IND, false, 16, P_GT_IND},
    {PS_PT_IND, true, 17, P_PT_IND},      {PS_SYNM_IND, true, 21, P_SYNM_IND},
    {PS_SYNM_CNF, true, 22, P_SYNM_CNF},  {PS_SYN_IND, true, 19, P_SYN_IND},
    {PS_SYN_CNF, true, 20, P_SYN_CNF},
};

uint32_t passOn(Pmachine* pm, PIDU* pidu, uint32_t event) {
  for (const Passing& p : kPassing) {
    if (p.event != event) continue;
    if (p.checkInfo && pm->x410Mode == 0 && p07_info(pm, &inf) == 0) {
      abortInvalidPpdu(pm, pidu, kAbortInvalidParameter, p.eventId);
      return 0;
    }
    P_indicate(pm, pidu, p.indication);
    return 1;
  }
  return fail(PE_EVENT_INV);
}

// The ISO 8823 abort of a session-side event in the wrong state.
struct Unexpected {
  uint32_t event;
  int32_t reason;
  int32_t eventId;
};
constexpr Unexpected kUnexpected[] = {
    {PS_CP, kAbortUnexpectedPpdu, 0},       {PS_CPA, kAbortUnexpectedPpdu, 1},
    {PS_CPR, kAbortUnexpectedPpdu, 2},      {PS_ARU, kAbortUnexpectedPpdu, 3},
    {PS_ARP, kAbortUnexpectedPpdu, 4},      {PS_AC, kAbortUnexpectedPpdu, 5},
    {PS_ACA, kAbortUnexpectedPpdu, 6},      {PS_TD, kAbortUnexpectedPpdu, 7},
    {PS_TTD, kAbortUnexpectedPpdu, 8},      {PS_TE, kAbortUnexpectedPpdu, 9},
    {PS_CD_IND, kAbortUnexpectedPpdu, 10},  {PS_CD_CNF, kAbortUnexpectedPpdu, 11},
    {PS_RS, kAbortUnexpectedPpdu, 12},      {PS_RSA, kAbortUnexpectedPpdu, 13},
    {PS_REL_IND, kAbortUnexpectedSpdu, 14}, {PS_REL_CNF, kAbortUnexpectedSpdu, 15},
    {PS_REL_REF, kAbortUnexpectedSpdu, 15}, {PS_GT_IND, kAbortUnexpectedSpdu, 16},
    {PS_PT_IND, kAbortUnexpectedSpdu, 17},  {PS_CG_IND, kAbortUnexpectedSpdu, 18},
    {PS_SYN_IND, kAbortUnexpectedSpdu, 19}, {PS_SYN_CNF, kAbortUnexpectedSpdu, 20},
    {PS_SYNM_IND, kAbortUnexpectedSpdu, 21}, {PS_SYNM_CNF, kAbortUnexpectedSpdu, 22},
    {PS_PER_IND, kAbortUnexpectedSpdu, 23}, {PS_UER_IND, kAbortUnexpectedSpdu, 24},
    {PS_ACTS_IND, kAbortUnexpectedSpdu, 25}, {PS_ACTR_IND, kAbortUnexpectedSpdu, 26},
    {PS_ACTI_IND, kAbortUnexpectedSpdu, 27}, {PS_ACTI_CNF, kAbortUnexpectedSpdu, 28},
    {PS_ACTD_IND, kAbortUnexpectedSpdu, 29}, {PS_ACTD_CNF, kAbortUnexpectedSpdu, 30},
    {PS_ACTE_IND, kAbortUnexpectedSpdu, 31}, {PS_ACTE_CNF, kAbortUnexpectedSpdu, 32},
};

// Refuses a received CP: the CPR goes, the machine and the PIDU go.
uint32_t refuse(Pmachine* pm, PIDU* pidu, int32_t reason) {
  (void)conn_prej(pm, pidu, reason);
  pm->state = STAI0;
  pm_dealloc(pm);
  p_free_pidu(pidu);
  return 0;
}

// The reference of the user's selector entry with an empty selector.
uint64_t emptySelectorRef(const PsUser* u) {
  for (const PsAddrEntry* e = &u->addr; e != nullptr; e = e->next)
    if (e->psel.length == 0) return e->userRef;
  return 0;
}

PsUser* firstX410User() {
  for (PsUser* u = psutab; u != nullptr; u = u->next == psutab ? nullptr : u->next)
    if (u->x410User != 0) return u;
  return nullptr;
}

// The responder's answer to the contexts and the default context.
uint32_t takeAnswer(Pmachine* pm, PIDU* pidu) {
  if (p09_user(pm, pidu) == 0) return 0;
  if (pm->definedCount != 0 && store_pcrl_pcdt(pidu->ctxResultList, pm) == 0) return 0;
  if (pm->dfltAsIdx != -1 && pidu->dfltResult != 0) {
    pm->dfltAsIdx = -1;
    pm->dfltTsIdx = -1;
  }
  return 1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Checks

int32_t consistent_pctxid(int32_t id, int32_t first) {
  if ((id == -1) == (first == -1)) return 1;
  QvSetOsiError(static_cast<int32_t>(PE_PCTXID_CONS));
  return 0;
}

int32_t p07_delem(Pmachine* pm, PIDU* pidu) {
  if (!hasData(pidu)) return 1;
  const int32_t first = firstElement(pidu)->pctxId;
  const bool ok = eachElement(pidu, [&](const DElem& e) {
    if (consistent_pctxid(e.pctxId, first) == 0) return false;
    if (e.pctxId != -1) {
      if (val_pctxid(e.pctxId) != 0) return false;
      if (!definedSlot(pm, e.pctxId)) return fail(PE_PCTXID_NOT) != 0;
      return true;
    }
    if (pm->dfltAsIdx == -1 || pm->dfltTsIdx == -1) return fail(PE_DFLT_NOT) != 0;
    return true;
  });
  return ok ? 1 : 0;
}

int32_t p06_delem(PIDU* pidu) {
  if (!hasData(pidu)) return 1;
  const int32_t first = firstElement(pidu)->pctxId;
  const bool ok = eachElement(pidu, [&](const DElem& e) {
    if (consistent_pctxid(e.pctxId, first) == 0) return false;
    // Expedited data is simply encoded only.
    if (e.pctxId != -1) return fail(PE_DFLT_NOT) != 0;
    return true;
  });
  return ok ? 1 : 0;
}

int32_t p06_rcvd(const User_data* data) { return data != nullptr && data->kind == kUserDataSimple ? 1 : 0; }

int32_t p07_info(Pmachine* pm, const User_data* data) {
  const bool ok = eachPdv(data, [&](const PdvType& pdv) {
    const auto slot = static_cast<int32_t>(pdv.context);
    if (val_pctxid(slot) != 0) return false;
    return definedSlot(pm, slot) || fail(PE_PCTXID_NOT) != 0;
  });
  return ok ? 1 : 0;
}

int32_t p07_aru(Pmachine* pm, const Abort_type* aru) {
  if (aru == nullptr || aru->kind != kPpduAruNormal || (aru->aru.presence & kAruContextIds) == 0) return 1;
  for (uint32_t i = 0; i < aru->aru.contextIds.count && i < kPsMaxListItems; ++i) {
    const int32_t id = aru->aru.contextIds.items[i].pctxId;
    bool found = false;
    for (int32_t s = 0; s < kPsMaxContexts && !found; ++s) found = pm->idMap[s] == id && definedSlot(pm, s);
    if (!found) return static_cast<int32_t>(fail(PE_PCTXID_NOT));
  }
  return 1;
}

int32_t p09_user(Pmachine* pm, PIDU* pidu) {
  if (!hasData(pidu)) return 1;
  const int32_t first = firstElement(pidu)->pctxId;
  const bool ok = eachElement(pidu, [&](const DElem& e) {
    if (consistent_pctxid(e.pctxId, first) == 0) return false;
    return e.pctxId == -1 || marked(pm, e.pctxId) || fail(PE_PCTXID_NOT) != 0;
  });
  return ok ? 1 : 0;
}

int32_t p09_defn(Pmachine* pm, const Context_list* list) {
  if (list == nullptr) return 1;
  for (uint32_t i = 0; i < list->count && i < kPsMaxProposed; ++i)
    if (!marked(pm, static_cast<int32_t>(2 * i + 1))) return static_cast<int32_t>(fail(PE_PCTXID_NOT));
  return 1;
}

int32_t p09_rslt(const User_data* data, const Result_list* results, Pmachine* pm) {
  const bool ok = eachPdv(data, [&](const PdvType& pdv) {
    const auto slot = static_cast<int32_t>(pdv.context);
    if (marked(pm, slot)) return true;
    // Otherwise the context must have been accepted: its result, by the
    // place of the slot among the proposed ones.
    if (results != nullptr && slot >= 0 && slot < kPsMaxContexts) {
      uint32_t i = 0;
      for (int32_t s = 0; s < slot; ++s)
        if (pm->idMap[s] != -1) ++i;
      if (i < results->count && results->items[i].result == kPcdtAccepted) return true;
    }
    return fail(PE_PCTXID_NOT) != 0;
  });
  return ok ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Shared pieces

void releaseIfIdle(Pmachine* pm) {
  if (find_pm_pm(pm) != nullptr && pm->state == STAI0) pm_dealloc(pm);
}

void abortInvalidPpdu(Pmachine* pm, PIDU* pidu, int32_t reason, int32_t eventId) {
  if (ppduARP(pm, pidu, reason, eventId) == 0) (void)PsendQabortDown(pm);
  pidu->reason = reason;
  pidu->eventId = static_cast<uint32_t>(eventId);
  pm->state = STAI0;
  (void)P_deliver(pm, pidu, P_PAB_IND);
  releaseIfIdle(pm);
}

int32_t new_puser(Pmachine* pm, PIDU* pidu) {
  const PSelector& r = pidu->responding.pSel;
  const uint32_t length = r.length > 0 ? static_cast<uint32_t>(r.length) : 0;
  if (psap_cmp_os(&pm->localPsel, length, r.octets) == 0) return 1;
  PsUser* to = oct_find_ps_user(length, r.octets, nullptr);
  if (to == nullptr) {
    TM_TRACE(ps_TM_handle, 8, kSrc, "The responding psap has is not active, return error\n");
    return static_cast<int32_t>(fail(PE_PSAP_NOT));
  }
  const PsUser* from = pm->user;
  auto same = [&](int32_t asIdx) {
    if (asIdx < 0 || asIdx >= kPsMaxAsyn || from == nullptr) return false;
    return ul_objidcmp(&from->asTable.entries[asIdx].id, &to->asTable.entries[asIdx].id) == 1 &&
           to->asTable.entries[asIdx].id.count != kPsFreeEntry;
  };
  for (const PcdtEntry& e : pm->pcdt)
    if (e.asIdx != -1 && !same(e.asIdx)) return static_cast<int32_t>(fail(PE_PROP_CTX));
  if (pm->dfltAsIdx != -1 && !same(pm->dfltAsIdx)) return static_cast<int32_t>(fail(PE_DFLT_CTX));
  pm->user = to;
  TM_TRACE(ps_TM_handle, 32, kSrc, "Moved the Pmachine to the responding psap\n");
  return 1;
}

uint32_t paINVALID(Pmachine*, PIDU*, uint32_t) { return fail(PE_STATE_INV); }

uint32_t psINVALID(Pmachine* pm, PIDU* pidu, uint32_t) {
  int32_t reason = kAbsent;
  int32_t eventId = kAbsent;
  for (const Unexpected& u : kUnexpected) {
    if (u.event != pidu->event) continue;
    reason = u.reason;
    eventId = u.eventId;
    break;
  }
  abortInvalidPpdu(pm, pidu, reason, eventId);
  return 1;
}

// ---------------------------------------------------------------------------
// Requests and responses of the user

uint32_t paACTDREQ(Pmachine* pm, PIDU* pidu, uint32_t) { return dataRequest(pm, pidu, pxACTDREQ, true); }
uint32_t paACTDRSP(Pmachine* pm, PIDU* pidu, uint32_t) { return dataRequest(pm, pidu, pxACTDRSP, true); }
uint32_t paACTEREQ(Pmachine* pm, PIDU* pidu, uint32_t) { return dataRequest(pm, pidu, pxACTEREQ, false); }
uint32_t paACTERSP(Pmachine* pm, PIDU* pidu, uint32_t) { return dataRequest(pm, pidu, pxACTERSP, false); }
uint32_t paACTIREQ(Pmachine* pm, PIDU* pidu, uint32_t) { return dataRequest(pm, pidu, pxACTIREQ, true); }
uint32_t paACTIRSP(Pmachine* pm, PIDU* pidu, uint32_t) { return dataRequest(pm, pidu, pxACTIRSP, true); }
uint32_t paACTRREQ(Pmachine* pm, PIDU* pidu, uint32_t) { return dataRequest(pm, pidu, pxACTRREQ, false); }
uint32_t paACTSREQ(Pmachine* pm, PIDU* pidu, uint32_t) { return dataRequest(pm, pidu, pxACTSREQ, false); }
uint32_t paCGREQ(Pmachine* pm, PIDU* pidu, uint32_t) { return dataRequest(pm, pidu, pxCGREQ, true); }
uint32_t paUERREQ(Pmachine* pm, PIDU* pidu, uint32_t) { return dataRequest(pm, pidu, pxUERREQ, false); }
uint32_t paGTREQ(Pmachine* pm, PIDU* pidu, uint32_t) { return dataRequest(pm, pidu, pxPGTREQ, true); }
uint32_t paPTREQ(Pmachine* pm, PIDU* pidu, uint32_t) { return dataRequest(pm, pidu, pxPPTREQ, false); }
uint32_t paSYNMREQ(Pmachine* pm, PIDU* pidu, uint32_t) { return dataRequest(pm, pidu, pxSYNMREQ, false); }
uint32_t paSYNMRSP(Pmachine* pm, PIDU* pidu, uint32_t) { return dataRequest(pm, pidu, pxSYNMRSP, false); }
uint32_t paSYNREQ(Pmachine* pm, PIDU* pidu, uint32_t) { return dataRequest(pm, pidu, pxSYNREQ, false); }
uint32_t paSYNRSP(Pmachine* pm, PIDU* pidu, uint32_t) { return dataRequest(pm, pidu, pxSYNRSP, false); }

uint32_t paRELREQ(Pmachine* pm, PIDU* pidu, uint32_t) {
  if (dataRequest(pm, pidu, pxPRELREQ, false) == 0) return 0;
  if (pm->relPending != 0) pm->relCollision = 1;
  pm->relPending = 1;
  return 1;
}

uint32_t paRELACC(Pmachine* pm, PIDU* pidu, uint32_t) {
  if (dataRequest(pm, pidu, pxPRELACC, false) == 0) return 0;
  if (pm->relCollision != 0) {
    // The first answer of a release collision: the connection stays.
    pm->relCollision = 0;
    pm->relPending = 0;
  } else {
    pm->state = STAI0;
  }
  releaseIfIdle(pm);
  return 1;
}

uint32_t paRELREF(Pmachine* pm, PIDU* pidu, uint32_t) {
  if (dataRequest(pm, pidu, pxPRELREJ, false) == 0) return 0;
  pm->relPending = 0;
  pm->relCollision = 0;
  return 1;
}

uint32_t paCDREQ(Pmachine* pm, PIDU* pidu, uint32_t) { return builtRequest(pm, pidu, ppduTC, false); }
uint32_t paCDRSP(Pmachine* pm, PIDU* pidu, uint32_t) { return builtRequest(pm, pidu, ppduTCC, false); }
uint32_t paDTREQ(Pmachine* pm, PIDU* pidu, uint32_t) { return builtRequest(pm, pidu, ppduTD, true); }
uint32_t paTDREQ(Pmachine* pm, PIDU* pidu, uint32_t) { return builtRequest(pm, pidu, ppduTTD, true); }
uint32_t paRSYNAB(Pmachine* pm, PIDU* pidu, uint32_t) { return builtRequest(pm, pidu, ppduRS, false); }
uint32_t paRSYNRES(Pmachine* pm, PIDU* pidu, uint32_t) { return builtRequest(pm, pidu, ppduRS, false); }
uint32_t paRSYNSET(Pmachine* pm, PIDU* pidu, uint32_t) { return builtRequest(pm, pidu, ppduRS, false); }
uint32_t paRSYNRSP(Pmachine* pm, PIDU* pidu, uint32_t) { return builtRequest(pm, pidu, ppduRSA, false); }

uint32_t paEXREQ(Pmachine* pm, PIDU* pidu, uint32_t) {
  if (!hasData(pidu)) return fail(PE_MISS_DE);
  if (p06_delem(pidu) == 0) return 0;
  return ppduTE(pm, pidu) != 0 ? 1 : 0;
}

uint32_t paUABREQ(Pmachine* pm, PIDU* pidu, uint32_t) {
  if (builtRequest(pm, pidu, ppduARU, false) == 0) return 0;
  pm->state = STAI0;
  pm_dealloc(pm);
  return 1;
}

uint32_t paRECEIVE(Pmachine* pm, PIDU* pidu, uint32_t) { return pxPRECEIVE(pm, pidu) != 0 ? 1 : 0; }

uint32_t paCONREQ(Pmachine* pm, PIDU* pidu, uint32_t) {
  if (pidu->x410Params == nullptr) {
    pm->definedCount = 0;
    clear_pcdt(pm);
    if (store_pcdl_pcdt(pidu->ctxDefList, pm) == 0) return 0;
    if (store_dcn_pcdt(pidu->dfltCtx, pm) == 0) return 0;
    if (val_pfu(pidu->presRequirements) != 0) return 0;
    if (p09_user(pm, pidu) == 0) return 0;
  }
  if (pvSessChk(pm, pidu->sessVersion) == 0) return 0;
  pidu->sessVersion = pm->sessVersion;
  pm->dataLimit = pidu->userDataLimit;
  if (ppduCP(pm, pidu) == 0) return 0;
  pm->state = STAI1;
  return 1;
}

uint32_t paCONACC(Pmachine* pm, PIDU* pidu, uint32_t) {
  if (pidu->x410Params == nullptr && takeAnswer(pm, pidu) == 0) return 0;
  pm->dataLimit = pidu->userDataLimit;
  if (pidu->responding.pSel.length > 0 && new_puser(pm, pidu) == 0) return 0;
  pm->pRequirements = pidu->presRequirements;
  pm->sRequirements = pidu->sessRequirements;
  pm->connectWord = pidu->connectWord;
  pm->tokenItem = pidu->tokenItem;
  pm->serialNumber = static_cast<uint32_t>(pidu->serial);
  if (ppduCPA(pm, pidu) == 0) return 0;
  pm->state = STAt0;
  return 1;
}

uint32_t paCONREJ(Pmachine* pm, PIDU* pidu, uint32_t) {
  if (pidu->x410Params == nullptr && takeAnswer(pm, pidu) == 0) return 0;
  pm->pRequirements = pidu->presRequirements;
  pm->sRequirements = pidu->sessRequirements;
  if (ppduCPR(pm, pidu) == 0) return 0;
  pm->state = STAI0;
  pm_dealloc(pm);
  return 1;
}

// ---------------------------------------------------------------------------
// Session-side events

uint32_t psACTDIND(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_ACTD_IND); }
uint32_t psACTDCNF(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_ACTD_CNF); }
uint32_t psACTEIND(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_ACTE_IND); }
uint32_t psACTECNF(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_ACTE_CNF); }
uint32_t psACTIIND(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_ACTI_IND); }
uint32_t psACTICNF(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_ACTI_CNF); }
uint32_t psACTRIND(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_ACTR_IND); }
uint32_t psACTSIND(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_ACTS_IND); }
uint32_t psCDIND(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_CD_IND); }
uint32_t psCDCNF(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_CD_CNF); }
uint32_t psCGIND(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_CG_IND); }
uint32_t psPERIND(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_PER_IND); }
uint32_t psUERIND(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_UER_IND); }
uint32_t psTD(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_TD); }
uint32_t psFC(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_FC); }
uint32_t psGTIND(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_GT_IND); }
uint32_t psPTIND(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_PT_IND); }
uint32_t psSYNMIND(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_SYNM_IND); }
uint32_t psSYNMCNF(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_SYNM_CNF); }
uint32_t psSYNIND(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_SYN_IND); }
uint32_t psSYNCNF(Pmachine* pm, PIDU* pidu, uint32_t) { return passOn(pm, pidu, PS_SYN_CNF); }

uint32_t psTE(Pmachine* pm, PIDU* pidu, uint32_t) {
  if (p06_rcvd(&inf) == 0) {
    abortInvalidPpdu(pm, pidu, kAbortInvalidParameter, 9);
    return 0;
  }
  P_indicate(pm, pidu, P_EX_IND);
  return 1;
}

uint32_t psTTD(Pmachine* pm, PIDU* pidu, uint32_t) {
  if (pm->x410Mode == 0 && p07_info(pm, &ttd.ttd) == 0) {
    abortInvalidPpdu(pm, pidu, kAbortInvalidParameter, 8);
    return 0;
  }
  PTDind(pm, pidu);
  return 1;
}

uint32_t psTF(Pmachine* pm, PIDU* pidu, uint32_t) {
  P_indicate(pm, pidu, P_DT_CNF);
  releaseIfIdle(pm);
  return 1;
}

uint32_t psRS(Pmachine* pm, PIDU* pidu, uint32_t) {
  if (pm->x410Mode == 0 && p07_info(pm, &rs.userData) == 0) {
    abortInvalidPpdu(pm, pidu, kAbortInvalidParameter, 12);
    return 0;
  }
  RSYNind(pm, pidu);
  return 1;
}

uint32_t psRSA(Pmachine* pm, PIDU* pidu, uint32_t) {
  if (pm->x410Mode == 0 && p07_info(pm, &rsa.userData) == 0) {
    abortInvalidPpdu(pm, pidu, kAbortInvalidParameter, 13);
    return 0;
  }
  RSYNcnf(pm, pidu);
  return 1;
}

uint32_t psRELIND(Pmachine* pm, PIDU* pidu, uint32_t) {
  if (pm->x410Mode == 0 && p07_info(pm, &inf) == 0) {
    abortInvalidPpdu(pm, pidu, kAbortInvalidParameter, 14);
    return 0;
  }
  if (pm->relPending != 0) pm->relCollision = 1;
  pm->relPending = 1;
  P_indicate(pm, pidu, P_REL_IND);
  return 1;
}

uint32_t psRELCNF(Pmachine* pm, PIDU* pidu, uint32_t) {
  if (pm->x410Mode == 0 && p07_info(pm, &inf) == 0) {
    abortInvalidPpdu(pm, pidu, kAbortInvalidParameter, 15);
    return 0;
  }
  if (pm->relCollision != 0) {
    pm->relCollision = 0;
    pm->relPending = 0;
  } else {
    pm->state = STAI0;
  }
  P_indicate(pm, pidu, P_REL_CNF);
  releaseIfIdle(pm);
  return 1;
}

uint32_t psRELREF(Pmachine* pm, PIDU* pidu, uint32_t) {
  if (pm->x410Mode == 0 && p07_info(pm, &inf) == 0) {
    abortInvalidPpdu(pm, pidu, kAbortInvalidParameter, 15);
    return 0;
  }
  pm->relPending = 0;
  pm->relCollision = 0;
  P_indicate(pm, pidu, P_REL_REF);
  return 1;
}

uint32_t psCP(Pmachine* pm, PIDU* pidu, uint32_t) {
  const bool x410 = (cp.presence & kCpMode) != 0 && cp.mode.value == kModeX410;
  if (pm->user == nullptr) {
    if (!x410) {
      pm->user = getNullPsap();
      if (pm->user == nullptr) return refuse(pm, pidu, kRefuseCalledUnknown);
    } else {
      pm->x410Mode = 1;
      pm->user = firstX410User();
      if (pm->user == nullptr) return refuse(pm, pidu, kRefuseNotSpecified);
      pm->userRef = pm->user->addr.userRef;
    }
  }
  if (pm->localPsel.length == 0 && !x410) pm->userRef = emptySelectorRef(pm->user);
  if (!x410) {
    // What the decoder refused while it read the CP.
    switch (static_cast<uint32_t>(pm->lastError)) {
      case PE_PSAP_NOT:
        return refuse(pm, pidu, kRefuseCalledUnknown);
      case PE_NO_RESOURCES:
        return refuse(pm, pidu, kRefuseLocalLimit);
      case PE_PCTXID_INV:
      case PE_NOT_PRE_ENC:
        return refuse(pm, pidu, kRefuseUnreadable);
      default:
        break;
    }
    if (pm->dfltResult == kPcdtProviderRejected) return refuse(pm, pidu, kRefuseDefaultContext);
    if ((cp.normal.presence & kCpContexts) != 0 && p09_defn(pm, &cp.normal.contexts) == 0) {
      abortInvalidPpdu(pm, pidu, kAbortInvalidParameter, 0);
      return 0;
    }
  } else {
    pm->x410Mode = 1;
  }
  const uint32_t version = pvSess(pm, pidu->sessVersion);
  if (version == 0) {
    abortInvalidPpdu(pm, pidu, kAbortInvalidParameter, 0);
    return 0;
  }
  pidu->sessVersion = version;
  pm->lastError = 0;
  pm->state = STAI2;
  PCONind(pm, pidu);
  return 1;
}

uint32_t psCPA(Pmachine* pm, PIDU* pidu, uint32_t) {
  if ((cpa.presence & kCpaNormal) != 0 &&
      p09_rslt(&cpa.normal.userData, (cpa.normal.presence & kCpaResults) != 0 ? &cpa.normal.results : nullptr,
               pm) == 0) {
    abortInvalidPpdu(pm, pidu, kAbortInvalidParameter, 1);
    return 0;
  }
  pm->state = STAt0;
  PCONcnf(pm, pidu);
  return 1;
}

uint32_t psCPR(Pmachine* pm, PIDU* pidu, uint32_t) {
  if (cpr.kind == kPpduSequence &&
      p09_rslt(&cpr.normal.userData, (cpr.normal.presence & kCprResults) != 0 ? &cpr.normal.results : nullptr,
               pm) == 0) {
    abortInvalidPpdu(pm, pidu, kAbortInvalidParameter, 2);
    return 0;
  }
  return endWith(pm, pidu, PCONref);
}

uint32_t psCONREF(Pmachine* pm, PIDU* pidu, uint32_t) { return endWith(pm, pidu, PCONref2); }

uint32_t psARU(Pmachine* pm, PIDU* pidu, uint32_t) {
  if (pm->x410Mode == 0 && p07_aru(pm, &abrt) == 0) {
    abortInvalidPpdu(pm, pidu, kAbortInvalidParameter, 3);
    return 0;
  }
  return endWith(pm, pidu, PUABind);
}

uint32_t psARP(Pmachine* pm, PIDU* pidu, uint32_t) { return endWith(pm, pidu, PPABind); }
uint32_t psSABIND(Pmachine* pm, PIDU* pidu, uint32_t) { return endWith(pm, pidu, PSABind); }
uint32_t psRABIND(Pmachine* pm, PIDU* pidu, uint32_t) { return endWith(pm, pidu, PRABind); }
