// Syntax registry: transfer-syntax table, abstract-syntax tables of the
// users, registration and lookups.
#include "src/presentation/psyntax.h"

#include <cstring>

#include "common/timer2.h"
#include "src/asn1/ber_context.h"
#include "src/asn1/ber_length.h"
#include "src/presentation/perrno.h"
#include "src/presentation/plock.h"
#include "src/presentation/pmachine.h"
#include "src/presentation/users.h"
#include "src/session/session.h"

namespace {

constexpr ObjId kFreeId = {kPsFreeEntry, {}};

// 2 to 16 arcs, the first at most 2, the second below 40.
bool validId(uint32_t arcCount, const uint32_t* arcs) {
  return arcCount >= 2 && arcCount <= kObjIdMaxArcs && arcs != nullptr && val_objid(arcs) == 0;
}

bool sameId(const ObjId& entry, uint32_t arcCount, const uint32_t* arcs) {
  if (entry.count == kPsFreeEntry || entry.count != arcCount || arcCount > kObjIdMaxArcs) return false;
  return arcCount == 0 || (arcs != nullptr && std::memcmp(entry.arcs, arcs, arcCount * sizeof(uint32_t)) == 0);
}

void setId(ObjId* dst, uint32_t arcCount, const uint32_t* arcs) {
  *dst = ObjId{};
  dst->count = arcCount;
  std::memcpy(dst->arcs, arcs, arcCount * sizeof(uint32_t));
}

bool tsInUse(int32_t tsIdx) { return tsIdx >= 0 && tsIdx < kPsMaxTsyn && tst[tsIdx].id.count != kPsFreeEntry; }

const AbsSyntax* asRow(const AbsSyntaxTable* table, int32_t asIdx) {
  if (table == nullptr || asIdx < 0 || asIdx >= kPsMaxAsyn) return nullptr;
  const AbsSyntax* a = &table->entries[asIdx];
  return a->id.count == kPsFreeEntry ? nullptr : a;
}

int32_t fail(uint32_t code, int32_t result) {
  QvSetOsiError(static_cast<int32_t>(code));
  return result;
}

// The user of a PSAP id, with the errors of the registration entries:
// PE_PSAP_INV for an invalid id, PE_PSAP_NOT for an unknown one.
PsUser* userOfPsap(const OctStgV* psap, uint32_t* err) {
  if (val_psapid(psap) != 0) {
    *err = PE_PSAP_INV;
    return nullptr;
  }
  PsUser* u = find_ps_user(psap);
  if (u == nullptr) *err = PE_PSAP_NOT;
  return u;
}

// The common checks of p_asyndereg, p_assoc and p_deassoc, in their order.
// tsIdx -1: no transfer syntax to check.
AbsSyntax* checkedRow(const OctStgV* psap, int32_t asIdx, int32_t tsIdx, bool withTs, uint32_t* err) {
  *err = 0;
  if (val_psapid(psap) != 0) *err = PE_PSAP_INV;
  else if (val_asidx(asIdx) != 0) *err = PE_ASYN_INV;
  else if (withTs && val_tsidx(tsIdx) != 0) *err = PE_TSYN_INV;
  if (*err != 0) return nullptr;
  PsUser* u = userOfPsap(psap, err);
  if (u == nullptr) return nullptr;
  AbsSyntax* a = &u->asTable.entries[asIdx];
  if (a->id.count == kPsFreeEntry) {
    *err = PE_ASYN_NOT;
    return nullptr;
  }
  if (withTs && !tsInUse(tsIdx)) {
    *err = PE_TSYN_NOT;
    return nullptr;
  }
  return a;
}

AbsSyntax* contextRow(int32_t ctxId) {
  if (pP == nullptr || ctxId < 1 || ctxId >= kPsMaxContexts) return nullptr;
  AbsSyntaxTable* table = pm_asTable(pP);
  return const_cast<AbsSyntax*>(asRow(table, pP->pcdt[ctxId].asIdx));
}

int32_t copyId(const ObjId& id, uint32_t* capacity, uint32_t* arcs) {
  if (capacity == nullptr) return fail(PE_MISS_PARM, 0);
  const uint32_t room = *capacity;
  *capacity = id.count;
  if (room < id.count) return static_cast<int32_t>(room) - static_cast<int32_t>(id.count);
  if (arcs == nullptr && id.count > 0) return fail(PE_MISS_PARM, 0);
  if (id.count > 0) std::memcpy(arcs, id.arcs, id.count * sizeof(uint32_t));
  QvSetOsiError(0);
  return 1;
}

}  // namespace

TsEntry tst[kPsMaxTsyn] = {{kFreeId, 0, {}}, {kFreeId, 0, {}}, {kFreeId, 0, {}}, {kFreeId, 0, {}}};
uint32_t ntst = 0;
int32_t ps_asn1_tsidx = -1;
int32_t current_fmt_tsidx = -1;
int32_t current_prs_tsidx = -1;

// ---------------------------------------------------------------------------
// Set-up

int32_t init_psyn() {
  clear_p_ts();
  freeall = 0;
  const TsRoutines ber = {
      ber_addany,   ber_addbit,   ber_addbits, ber_addbitv,  ber_addbitw,  ber_adddouble, ber_addeoc,
      ber_addext,   ber_addid,    ber_addint,  ber_addlong,  ber_addobj,   ber_addobjv,   ber_addocts,
      ber_addoctv,  ber_addstg,   ber_addstgv, ber_addutc,   ber_addtime,  fGetf,         fSetUp,
      aamark,       aarestore,    ber_chkend,  ber_getany,   ber_getbit,   ber_getbits,   ber_getbitv,
      ber_getbitw,  ber_getdouble, ber_getext, ber_getid,    ber_getint,   ber_getlong,   ber_getobj,
      ber_getobjv,  ber_getocts,  ber_getoctv, ber_getstg,   ber_getstgv,  ber_getutc,    ber_gettime,
      ber_gettype,  ber_peektype, aSetUp,
  };
  static constexpr uint32_t kBer[] = {2, 1, 1};
  ps_asn1_tsidx = p_txfrSynReg(3, kBer, kEncSingleAsn1, &ber);
  return ps_asn1_tsidx < 0 ? 0 : 1;
}

void clear_p_ts() {
  current_fmt_tsidx = -1;
  current_prs_tsidx = -1;
}

void clear_tst() {
  for (TsEntry& t : tst) t = TsEntry{kFreeId, 0, {}};
  ntst = 0;
}

void clear_ast(PsUser* user) {
  if (user == nullptr) return;
  for (AbsSyntax& a : user->asTable.entries) {
    a = AbsSyntax{};
    a.id.count = kPsFreeEntry;
    for (int32_t& s : a.tsSlots) s = -1;
  }
  user->asTable.count = 0;
}

// ---------------------------------------------------------------------------
// Registration

int32_t p_txfrSynReg(uint32_t arcCount, const uint32_t* arcs, uint32_t encoding, const TsRoutines* routines) {
  PsLock lock;
  if (!validId(arcCount, arcs)) return fail(PE_TSYN_INV, -1);
  if (val_encode(encoding) != 0) return -1;
  if (routines == nullptr) return fail(PE_MISS_PARM, -1);
  uintptr_t words[kTsRoutineCount];
  std::memcpy(words, routines, sizeof words);
  for (uintptr_t w : words)
    if (w == 0) return fail(PE_MISS_RTN, -1);
  if (find_tsidx_obj3(arcCount, arcs) != -1) return fail(PE_TSYN_USED, -1);
  const int32_t t = alloc_ts();
  if (t < 0) return fail(PE_NO_RESOURCES, -1);
  setId(&tst[t].id, arcCount, arcs);
  tst[t].encoding = encoding;
  tst[t].routines = *routines;
  QvSetOsiError(0);
  return t;
}

int32_t p_tsyndereg(int32_t tsIdx) {
  PsLock lock;
  if (val_tsidx(tsIdx) != 0) return 0;
  if (!tsInUse(tsIdx)) return fail(PE_TSYN_NOT, 0);
  dealloc_ts(tsIdx);
  QvSetOsiError(0);
  return 1;
}

int32_t p_asynreg(const OctStgV* psap, uint32_t arcCount, const uint32_t* arcs, AaParseFn parse, AaFormatFn format,
                  uint32_t preEncoded) {
  PsLock lock;
  if (val_psapid(psap) != 0) return -1;
  if (!validId(arcCount, arcs)) return fail(PE_ASYN_INV, -1);
  uint32_t err = 0;
  PsUser* u = userOfPsap(psap, &err);
  if (u == nullptr) return fail(err, -1);
  if (preEncoded != 0 && (parse != nullptr || format != nullptr)) return fail(PE_NO_RTN, -1);
  if (preEncoded == 0 && (parse == nullptr || format == nullptr)) return fail(PE_MISS_RTN, -1);
  if (find_asidx_obj3(arcCount, arcs, u) != -1) return fail(PE_ASYN_USED, -1);
  const int32_t a = alloc_as(u);
  if (a < 0) return fail(PE_NO_RESOURCES, -1);
  AbsSyntax& row = u->asTable.entries[a];
  setId(&row.id, arcCount, arcs);
  row.format = format;
  row.parse = parse;
  QvSetOsiError(0);
  return a;
}

int32_t p_asyndereg(const OctStgV* psap, int32_t asIdx) {
  PsLock lock;
  uint32_t err = 0;
  if (checkedRow(psap, asIdx, -1, false, &err) == nullptr) return fail(err, 0);
  dealloc_as(find_ps_user(psap), asIdx);
  QvSetOsiError(0);
  return 1;
}

int32_t p_assoc(const OctStgV* psap, int32_t asIdx, int32_t tsIdx) {
  PsLock lock;
  uint32_t err = 0;
  AbsSyntax* a = checkedRow(psap, asIdx, tsIdx, true, &err);
  if (a == nullptr) return fail(err, 0);
  if (a->tsSlots[tsIdx] == tsIdx) return fail(PE_TSYN_USED, 0);
  a->tsSlots[tsIdx] = tsIdx;
  ++a->tsCount;
  QvSetOsiError(0);
  return 1;
}

int32_t p_deassoc(const OctStgV* psap, int32_t asIdx, int32_t tsIdx) {
  PsLock lock;
  uint32_t err = 0;
  AbsSyntax* a = checkedRow(psap, asIdx, tsIdx, true, &err);
  if (a == nullptr) return fail(err, 0);
  if (a->tsSlots[tsIdx] != tsIdx) return fail(PE_SEQUENCE, 0);
  a->tsSlots[tsIdx] = -1;
  --a->tsCount;
  QvSetOsiError(0);
  return 1;
}

int32_t alloc_ts() {
  for (int32_t t = 0; t < kPsMaxTsyn; ++t) {
    if (tst[t].id.count != kPsFreeEntry) continue;
    ++ntst;
    return t;
  }
  return -1;
}

void dealloc_ts(int32_t tsIdx) {
  if (!tsInUse(tsIdx)) return;
  tst[tsIdx] = TsEntry{kFreeId, 0, {}};
  --ntst;
}

int32_t alloc_as(PsUser* user) {
  if (user == nullptr) return -1;
  for (int32_t a = 0; a < kPsMaxAsyn; ++a) {
    AbsSyntax& row = user->asTable.entries[a];
    if (row.id.count != kPsFreeEntry) continue;
    row = AbsSyntax{};
    for (int32_t& s : row.tsSlots) s = -1;
    ++user->asTable.count;
    return a;
  }
  return -1;
}

void dealloc_as(PsUser* user, int32_t asIdx) {
  if (user == nullptr || asRow(&user->asTable, asIdx) == nullptr) return;
  AbsSyntax& row = user->asTable.entries[asIdx];
  row = AbsSyntax{};
  row.id.count = kPsFreeEntry;
  for (int32_t& s : row.tsSlots) s = -1;
  --user->asTable.count;
}

// ---------------------------------------------------------------------------
// Queries

int32_t p_get_asyn_id(const OctStgV* psap, int32_t asIdx, uint32_t* capacity, uint32_t* arcs) {
  uint32_t err = 0;
  const AbsSyntax* a = checkedRow(psap, asIdx, -1, false, &err);
  if (a == nullptr) return fail(err, 0);
  return copyId(a->id, capacity, arcs);
}

int32_t p_get_tsyn_id(int32_t tsIdx, uint32_t* capacity, uint32_t* arcs) {
  if (val_tsidx(tsIdx) != 0) return 0;
  if (!tsInUse(tsIdx)) return fail(PE_TSYN_NOT, 0);
  return copyId(tst[tsIdx].id, capacity, arcs);
}

int32_t p_get_id_asyn(const OctStgV* psap, const uint32_t* arcCount, const uint32_t* arcs) {
  if (val_psapid(psap) != 0) return -1;
  const PsUser* u = find_ps_user(psap);
  if (u == nullptr) return fail(PE_PSAP_NOT, -1);
  const int32_t a = arcCount != nullptr ? find_asidx_obj3(*arcCount, arcs, u) : -1;
  if (a < 0) return fail(PE_ASYN_NOT, -1);
  return a;
}

int32_t p_find_asidx(const OctStgV* psap, uint32_t arcCount, const uint32_t* arcs) {
  return p_get_id_asyn(psap, &arcCount, arcs);
}

int32_t p_find_tsidx(uint32_t arcCount, const uint32_t* arcs) { return find_tsidx_obj3(arcCount, arcs); }

int32_t find_tsidx_obj(const ObjId* id) { return id != nullptr ? find_tsidx_obj3(id->count, id->arcs) : -1; }

int32_t find_tsidx_obj3(uint32_t arcCount, const uint32_t* arcs) {
  for (int32_t t = 0; t < kPsMaxTsyn; ++t)
    if (sameId(tst[t].id, arcCount, arcs)) return t;
  return -1;
}

int32_t find_tsidx_num(int32_t tsIdx) { return tsInUse(tsIdx) ? 1 : 0; }

int32_t find_tsidx_as_ts(int32_t asIdx, int32_t tsIdx, const AbsSyntaxTable* table) {
  const AbsSyntax* a = asRow(table, asIdx);
  if (a == nullptr || tsIdx < 0 || tsIdx >= kPsMaxTsyn) return 0;
  return a->tsSlots[tsIdx] == tsIdx ? 1 : 0;
}

int32_t find_asidx_obj(const ObjId* id, const PsUser* user) {
  return id != nullptr ? find_asidx_obj3(id->count, id->arcs, user) : -1;
}

int32_t find_asidx_obj3(uint32_t arcCount, const uint32_t* arcs, const PsUser* user) {
  if (user == nullptr) return -1;
  for (int32_t a = 0; a < kPsMaxAsyn; ++a)
    if (sameId(user->asTable.entries[a].id, arcCount, arcs)) return a;
  return -1;
}

int32_t find_asidx_num(int32_t asIdx, const PsUser* user) {
  return user != nullptr && asRow(&user->asTable, asIdx) != nullptr ? 1 : 0;
}

int32_t locate_first_tsidx(const int32_t* proposed, const int32_t* supported) {
  if (proposed == nullptr || supported == nullptr) return -1;
  for (int32_t t = 0; t < kPsMaxTsyn; ++t)
    if (proposed[t] != -1 && supported[t] != -1) return t;
  return -1;
}

int32_t find_tsidx_highest(const int32_t* slots) {
  if (slots == nullptr) return -1;
  for (int32_t t = kPsMaxTsyn - 1; t >= 0; --t)
    if (slots[t] != -1) return slots[t];
  return -1;
}

AbsSyntax* get_format_pcontext() { return contextRow(curr_format_context_ID); }
AbsSyntax* get_parse_pcontext() { return contextRow(curr_parse_context_ID); }

uint64_t p_get_apref() { return pP != nullptr ? pP->connRef : 0; }
Pmachine* p_get_pcep_id() { return pP; }

void switch_ts_fmt(uint32_t) {}
void switch_ts_prs(uint32_t) {}

void P_free_session_buffers(SessionBuffer* chain) { s_freeChain(chain); }

uint64_t P_tempConvert(uint64_t a, uint64_t b) { return b == 0 && a != 0 ? a : b; }
