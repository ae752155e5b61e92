// Presentation context definition table and the called-PSAP hooks of the
// connection-PPDU decoders.
#include "src/presentation/contexts.h"

#include <cstring>

#include "common/timer2.h"
#include "src/asn1/ber_runtime.h"
#include "src/presentation/perrno.h"
#include "src/presentation/ps_trace.h"

namespace {

constexpr const char* kSrc = "src/ps_pctx";

// The user's abstract syntax at asIdx; NULL when not registered.
const AbsSyntax* registered(const Pmachine* pm, int32_t asIdx) {
  const AbsSyntaxTable* t = pm_asTable(pm);
  if (t == nullptr || asIdx < 0 || asIdx >= kPsMaxAsyn) return nullptr;
  const AbsSyntax* a = &t->entries[asIdx];
  return a->id.count == kPsFreeEntry ? nullptr : a;
}

void reject(PcdtEntry* e, int32_t reason) {
  clear_pcdt_entry(e);
  e->result = kPcdtProviderRejected;
  e->providerReason = reason;
}

bool acceptedEarlier(const Pmachine* pm, int32_t slot, int32_t id) {
  for (int32_t s = 0; s < slot; ++s)
    if (pm->pcdt[s].ctxId == id && pm->pcdt[s].result == kPcdtAccepted) return true;
  return false;
}

// The store operations without osi_errno: 0 or the error number.
uint32_t storeProposed(const Context_list* list, Pmachine* pm) {
  if (list == nullptr || pm == nullptr) return PE_MISS_PARM;
  // Slots 1, 3, ... 31 hold 16 contexts; a longer list would run past them.
  if (list->count > kPsMaxProposed) return PE_NO_RESOURCES;
  for (uint32_t i = 0; i < list->count; ++i) {
    const Context_list_item& item = list->items[i];
    const auto slot = static_cast<int32_t>(2 * i + 1);
    PcdtEntry* e = &pm->pcdt[slot];
    clear_pcdt_entry(e);
    pm->idMap[slot] = item.pctxId;
    pm->ctxMarks[slot] = 1;
    ++pm->definedCount;
    // Identifiers are odd and positive; -1 would read as a free slot.
    if (item.pctxId < 0 || item.pctxId % 2 == 0 || acceptedEarlier(pm, slot, item.pctxId)) {
      reject(e, kPcdtReasonNotSpecified);
      continue;
    }
    const int32_t asIdx = find_asidx_obj(&item.asName, pm->user);
    if (asIdx < 0) {
      reject(e, kPcdtReasonAsynNotSupported);
      continue;
    }
    const uint32_t n = item.tsCount < kPsMaxTsyn ? item.tsCount : kPsMaxTsyn;
    for (uint32_t k = 0; k < n; ++k) {
      const int32_t t = find_tsidx_obj(&item.tsNames[k]);
      if (t < 0 || e->tsSlots[t] == t) continue;
      e->tsSlots[t] = t;
      ++e->tsCount;
    }
    const int32_t ts = locate_first_tsidx(e->tsSlots, pm->user->asTable.entries[asIdx].tsSlots);
    if (ts < 0) {
      e->result = kPcdtProviderRejected;  // the proposed slots stay for the record
      e->providerReason = kPcdtReasonTsynNotSupported;
      continue;
    }
    e->ctxId = item.pctxId;
    e->asIdx = asIdx;
    e->tsIdx = ts;
    e->result = kPcdtAccepted;
  }
  return 0;
}

uint32_t storeResults(const Result_list* list, Pmachine* pm) {
  if (list == nullptr || pm == nullptr) return PE_MISS_PARM;
  // One result per defined context, checked before any is read.
  if (list->count != pm->definedCount || list->count > kPsMaxListItems) return PE_PCTXID_NOT;
  uint32_t next = 0;
  for (PcdtEntry& e : pm->pcdt) {
    if (e.ctxId == -1) continue;
    if (next == list->count) return PE_PCTXID_NOT;
    const Result_list_item& item = list->items[next++];
    if (item.result == kPcdtAccepted) {
      const int32_t t = (item.presence & kResultTsName) != 0 ? find_tsidx_obj(&item.tsName) : -1;
      TM_TRACE(ps_TM_handle, 64, kSrc, "\nfind_tsidx_obj()=%x\n\n", static_cast<unsigned>(t));
      if (t < 0) return PE_TSYN_INV;
      e.tsIdx = t;
      continue;
    }
    clear_pcdt_entry(&e);
    e.result = item.result;
    if ((item.presence & kResultProviderReason) != 0) e.providerReason = item.providerReason;
  }
  return 0;
}

uint32_t report(uint32_t code) {
  QvSetOsiError(static_cast<int32_t>(code));
  return code == 0 ? 1 : 0;
}

Pmachine* machineOrJump() {
  if (pP == nullptr) aa_jump_out(PE_PCEP_INVALID);
  return pP;
}

}  // namespace

// ---------------------------------------------------------------------------
// Filling the table

int32_t store_pcdl_pcdt(const int32_t* definitions, Pmachine* pm) {
  if (definitions == nullptr || pm == nullptr) return report(PE_MISS_PARM);
  for (int32_t id = 0; id < kPsMaxContexts; ++id) {
    const int32_t asIdx = definitions[id];
    if (asIdx == -1) continue;
    uint32_t err = 0;
    const AbsSyntax* a = registered(pm, asIdx);
    if (id % 2 == 0) err = PE_PCTXID_INV;
    else if (a == nullptr) err = PE_ASYN_NOT;
    else if (a->tsCount == 0) err = PE_SEQUENCE;
    if (err != 0) {
      pm->definedCount = 0;
      return report(err);
    }
    PcdtEntry* e = &pm->pcdt[id];
    clear_pcdt_entry(e);
    e->ctxId = id;
    e->asIdx = asIdx;
    e->tsCount = a->tsCount;
    for (int32_t t = 0; t < kPsMaxTsyn; ++t) e->tsSlots[t] = a->tsSlots[t];
    pm->idMap[id] = id;
    pm->ctxMarks[id] = 1;
    ++pm->definedCount;
  }
  return report(0);
}

int32_t store_dcn_pcdt(int32_t asIdx, Pmachine* pm) {
  if (pm == nullptr) return report(PE_MISS_PARM);
  if (asIdx == -1) return report(0);
  const AbsSyntax* a = registered(pm, asIdx);
  if (a == nullptr) return report(PE_ASYN_NOT);
  if (a->tsCount != 1) return report(PE_SEQUENCE);
  pm->dfltAsIdx = asIdx;
  pm->dfltTsIdx = find_tsidx_highest(a->tsSlots);
  return report(0);
}

int32_t store_prop_pcdt(const Context_list* list, Pmachine* pm) { return report(storeProposed(list, pm)); }

int32_t store_pcrl_pcdt(const int32_t* results, Pmachine* pm) {
  if (results == nullptr || pm == nullptr) return report(PE_MISS_PARM);
  for (int32_t s = 0; s < kPsMaxContexts; ++s) {
    PcdtEntry* e = &pm->pcdt[s];
    if (e->ctxId == -1 || e->result != kPcdtAccepted) continue;
    if (results[s] == 0) continue;
    if (results[s] != 1) return report(PE_SEQUENCE);
    clear_pcdt_entry(e);
    e->result = kPcdtUserRejected;
  }
  return report(0);
}

int32_t store_rslt_pcdt(const Result_list* list, Pmachine* pm) { return report(storeResults(list, pm)); }

void set_pcdt_rslt(const Pmachine* pm, Result_list* out) {
  if (pm == nullptr || out == nullptr) return;
  out->count = 0;
  for (const PcdtEntry& e : pm->pcdt) {
    if (e.ctxId == -1 && e.result == kPcdtAccepted) continue;
    Result_list_item& item = out->items[out->count++];
    item = Result_list_item{};
    item.result = e.result;
    if (e.result == kPcdtProviderRejected) {
      item.presence = kResultProviderReason;
      item.providerReason = e.providerReason != -1 ? e.providerReason : kPcdtReasonNotSpecified;
    } else if (e.result == kPcdtAccepted && e.tsIdx >= 0 && e.tsIdx < kPsMaxTsyn) {
      item.presence = kResultTsName;
      item.tsName = tst[e.tsIdx].id;
    }
  }
}

// ---------------------------------------------------------------------------
// Decode hooks

void hitCpCled(uint32_t length, const uint8_t* octets) {
  Pmachine* pm = machineOrJump();
  if (length > kPselMaxLen || (length > 0 && octets == nullptr)) aa_jump_out(PE_PSAP_INV);
  uint64_t ref = 0;
  PsUser* u = oct_find_ps_user(length, octets, &ref);
  if (u == nullptr) {
    u = catchAllPUser;
    if (u == nullptr) {
      TM_TRACE(ps_TM_handle, 8, kSrc,
               "PSelector not recognised in the PCONNECT.ind\n"
               "                       PCONNECT will be rejected\n ");
      aa_jump_out(PE_PSAP_NOT);
    }
    TM_TRACE(ps_TM_handle, 32, kSrc,
             "PSelector not recognised in the PCONNECT.ind\n"
             "                           directing to the default user\n ");
    ref = u->addr.userRef;
  }
  pm->user = u;
  pm->userRef = ref;
  PselBlock called{length, {}};
  if (length > 0) std::memcpy(called.octets, octets, length);
  if (copy_oct_to_psap(&pm->localPsel, &called) == 0) aa_jump_out(PE_PSAP_INV);
}

void hitCpProP(const Context_list* list) {
  Pmachine* pm = machineOrJump();
  if (pm->user == nullptr) pm->user = getNullPsap();
  if (pm->user == nullptr) return;
  const uint32_t err = storeProposed(list, pm);
  if (err != 0) aa_jump_out(err);
}

void hitCpDflt(const ObjId* asName, const ObjId* tsName) {
  Pmachine* pm = machineOrJump();
  if (pm->user == nullptr) return;
  const int32_t a = find_asidx_obj(asName, pm->user);
  const int32_t t = find_tsidx_obj(tsName);
  if (a >= 0 && t >= 0 && find_tsidx_as_ts(a, t, &pm->user->asTable) != 0) {
    pm->dfltAsIdx = a;
    pm->dfltTsIdx = t;
    pm->dfltResult = kPcdtAccepted;
  } else {
    pm->dfltAsIdx = -1;
    pm->dfltTsIdx = -1;
    pm->dfltResult = kPcdtProviderRejected;
  }
}

void hitCpaProP(const Result_list* list) {
  Pmachine* pm = machineOrJump();
  if (pm->user == nullptr) pm->user = getNullPsap();
  if (pm->user == nullptr) pm->user = catchAllPUser;
  if (pm->user == nullptr || pm->definedCount == 0) return;
  const uint32_t err = storeResults(list, pm);
  if (err != 0) aa_jump_out(err);
}

void hitCprProP(const Result_list* list) {
  Pmachine* pm = machineOrJump();
  if (pm->definedCount == 0) return;
  const uint32_t err = storeResults(list, pm);
  if (err != 0) aa_jump_out(err);
}

void hitCprDflt(uint32_t result) {
  Pmachine* pm = machineOrJump();
  if (pm->dfltAsIdx == -1 || result == 0) return;
  pm->dfltAsIdx = -1;
  pm->dfltTsIdx = -1;
}
