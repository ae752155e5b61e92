// Presentation users, the layer's start-up, validators and selectors.
#include "src/presentation/users.h"

#include <cstring>

#include "common/timer2.h"
#include "src/presentation/management.h"
#include "src/presentation/perrno.h"
#include "src/presentation/plock.h"
#include "src/presentation/pmachine.h"
#include "src/presentation/ps_trace.h"
#include "src/runtime/xm.h"

PsUser* psutab = nullptr;
PsUser* catchAllPUser = nullptr;
PsLocalSsap local_ssap{};

namespace {

constexpr const char* kSrc = "src/ps_users";

int32_t fail(uint32_t code) {
  QvSetOsiError(static_cast<int32_t>(code));
  return 0;
}

// A validator's answer for an invalid value.
int32_t invalid(uint32_t code) {
  QvSetOsiError(static_cast<int32_t>(code));
  return 1;
}

// A selector entry of a user, with the entry before it (NULL for the first).
struct AddrHit {
  PsUser* user = nullptr;
  PsAddrEntry* entry = nullptr;
  PsAddrEntry* before = nullptr;
};

template <class Fn>
AddrHit findAddr(Fn matches) {
  PsUser* u = psutab;
  if (u == nullptr) return {};
  do {
    PsAddrEntry* before = nullptr;
    for (PsAddrEntry* e = &u->addr; e != nullptr; before = e, e = e->next)
      if (matches(*e)) return {u, e, before};
    u = u->next;
  } while (u != psutab);
  return {};
}

AddrHit findSelector(uint32_t length, const uint8_t* octets) {
  return findAddr([&](const PsAddrEntry& e) { return psap_cmp_os(&e.psel, length, octets) == 0; });
}

uint32_t userCount() {
  uint32_t n = 0;
  for (PsUser* u = psutab; u != nullptr; u = u->next == psutab ? nullptr : u->next) ++n;
  return n;
}

bool anyUser(bool (*test)(const PsUser&)) {
  for (PsUser* u = psutab; u != nullptr; u = u->next == psutab ? nullptr : u->next)
    if (test(*u)) return true;
  return false;
}

bool userHasMachines(const PsUser* user) {
  for (Pmachine* m = plist.next; m != nullptr; m = m->next)
    if (m->user == user) return true;
  return false;
}

// The selector's octets into a new item of the tree; false when memory runs
// out (nothing is left allocated).
bool copySelector(XmTree* tree, OctStgV* dst, const OctStgV* src) {
  dst->length = src->length;
  dst->octets = nullptr;
  if (src->length == 0) return true;
  dst->octets = static_cast<uint8_t*>(_xm_allocItem(tree, src->length, 0));
  if (dst->octets == nullptr) return false;
  std::memcpy(dst->octets, src->octets, src->length);
  return true;
}

void freeSelector(OctStgV* sel) {
  if (sel->octets != nullptr) _xm_freeItem(sel->octets);
  sel->octets = nullptr;
  sel->length = 0;
}

void linkUser(PsUser* u) {
  if (psutab == nullptr) {
    u->next = u->prev = u;
    psutab = u;
    return;
  }
  u->next = psutab;
  u->prev = psutab->prev;
  psutab->prev->next = u;
  psutab->prev = u;
}

void unlinkUser(PsUser* u) {
  if (u->next == u) {
    psutab = nullptr;
  } else {
    u->prev->next = u->next;
    u->next->prev = u->prev;
    if (psutab == u) psutab = u->next;
  }
  u->next = u->prev = nullptr;
}

// An address part that is present must fit; `max` is what the local
// session address holds.
bool fits(uint32_t length, const uint8_t* octets, uint32_t max) {
  return length <= max && (length == 0 || octets != nullptr);
}

}  // namespace

// ---------------------------------------------------------------------------
// Start-up and users

int32_t init_presentation(const UL_Paddress* local, PsEventHook hook, const uint8_t* mfgInfo,
                          const uint8_t* optInfo) {
  PsLock lock;
  PsLocalSsap ssap{};
  if (local != nullptr && (local->mask & kPsInitSsel) != 0) {
    if (!fits(local->sSel.length, local->sSel.octets, kSsapMaxLen)) return fail(PE_SSELECTOR);
    ssap.ssel.len = static_cast<uint8_t>(local->sSel.length);
    if (ssap.ssel.len > 0) std::memcpy(ssap.ssel.sel, local->sSel.octets, ssap.ssel.len);
  }
  // The session address holds fewer transport-selector octets than a
  // presentation address may carry: a longer one is refused, not cut.
  if (local != nullptr && (local->mask & kPsInitTsel) != 0) {
    if (!fits(local->tSel.length, local->tSel.octets, kTsapMaxLen)) return fail(PE_TSELECTOR);
    ssap.tsel.len = local->tSel.length;
    if (ssap.tsel.len > 0) std::memcpy(ssap.tsel.sel, local->tSel.octets, ssap.tsel.len);
  }
  if (local != nullptr && local->nAddrs.count > 0 && local->nAddrs.links.next != &local->nAddrs.links &&
      local->nAddrs.links.next != nullptr) {
    const auto* first = reinterpret_cast<const UL_NaddrEntry*>(local->nAddrs.links.next);
    if (!fits(first->addr.length, first->addr.octets, kNsapMaxLen)) return fail(PE_NADDRESS);
    ssap.naddr.len = first->addr.length;
    if (ssap.naddr.len > 0) std::memcpy(ssap.naddr.addr, first->addr.octets, ssap.naddr.len);
  }
  local_ssap = ssap;
  init_pmgmt();
  if (init_psyn() == 0) return 0;
  p_nminit();
  psEvent = hook;
  if (mfgInfo != nullptr) std::memcpy(psMfgInfo, mfgInfo, kPsInfoSize);
  else std::memset(psMfgInfo, 0, kPsInfoSize);
  if (optInfo != nullptr) std::memcpy(psOptInfo, optInfo, kPsInfoSize);
  else std::memset(psOptInfo, 0, kPsInfoSize);
  QvSetOsiError(0);
  return 1;
}

void init_pmgmt() {
  psutab = nullptr;
  catchAllPUser = nullptr;
  plist = PmList{nullptr, nullptr, 0};
  clear_tst();
}

int32_t p_activate(const OctStgV* psel, PsIndication callback, uint32_t mode, uint64_t userRef) {
  PsLock lock;
  if (val_psapid(psel) != 0) return 0;
  if (callback == nullptr) return fail(PE_MISS_RTN);
  if (mode > kPsModeDefault) return fail(PE_MISS_PARM);
  if (findSelector(psel->length, psel->octets).user != nullptr) return fail(PE_PSAP_USED);
  if (userCount() >= kPsMaxUsers) return fail(PE_NO_RESOURCES);
  if (mode == kPsModeX410 && anyUser([](const PsUser& u) { return u.x410User != 0; })) return fail(PE_ONE_X410);
  if (mode == kPsModeDefault && catchAllPUser != nullptr) return fail(PE_ONE_DEFAULT);
  XmTree* tree = _xm_allocTree(nullptr);
  auto* u = tree != nullptr ? static_cast<PsUser*>(_xm_allocItem(tree, sizeof(PsUser), XM_ZERO)) : nullptr;
  if (u == nullptr || !copySelector(tree, &u->addr.psel, psel)) {
    if (tree != nullptr) _xm_freeTree(tree);
    return fail(PE_MALLOC);
  }
  u->addr.next = nullptr;
  u->addr.userRef = userRef;
  clear_ast(u);
  u->callback = callback;
  u->x410User = mode == kPsModeX410 ? 1 : 0;
  linkUser(u);
  if (mode == kPsModeDefault) catchAllPUser = u;
  QvSetOsiError(0);
  return 1;
}

int32_t p_activate_clone(const OctStgV* newPsel, const OctStgV* existingPsel, uint64_t userRef) {
  PsLock lock;
  if (val_psapid(newPsel) != 0) return 0;
  if (findSelector(newPsel->length, newPsel->octets).user != nullptr) return fail(PE_PSAP_USED);
  PsUser* u = existingPsel != nullptr ? find_ps_user(existingPsel) : nullptr;
  if (u == nullptr) return fail(PE_PSAP_NOT_CLONEABLE);
  if (u->x410User != 0) return fail(PE_ONE_X410);
  XmTree* tree = xm_getParentOfItem(u);
  auto* e = static_cast<PsAddrEntry*>(_xm_allocItem(tree, sizeof(PsAddrEntry), XM_ZERO));
  if (e == nullptr) return fail(PE_MALLOC);
  if (!copySelector(tree, &e->psel, newPsel)) {
    _xm_freeItem(e);
    return fail(PE_MALLOC);
  }
  e->userRef = userRef;
  PsAddrEntry* last = &u->addr;
  while (last->next != nullptr) last = last->next;
  last->next = e;
  QvSetOsiError(0);
  return 1;
}

int32_t p_deactivate(const OctStgV* psel) {
  PsLock lock;
  if (val_psapid(psel) != 0) return 0;
  const AddrHit hit = findSelector(psel->length, psel->octets);
  if (hit.user == nullptr) return fail(PE_PSAP_NOT);
  PsUser* u = hit.user;
  if (u->addr.next == nullptr) {
    // The user goes with its only selector; its machines would keep a
    // pointer to it.
    if (userHasMachines(u)) return fail(PE_PSAP_USED);
    unlinkUser(u);
    if (catchAllPUser == u) catchAllPUser = nullptr;
    _xm_freeTree(xm_getParentOfItem(u));
  } else if (hit.before == nullptr) {
    PsAddrEntry* second = u->addr.next;
    freeSelector(&u->addr.psel);
    u->addr = *second;
    _xm_freeItem(second);
  } else {
    hit.before->next = hit.entry->next;
    freeSelector(&hit.entry->psel);
    _xm_freeItem(hit.entry);
  }
  QvSetOsiError(0);
  return 1;
}

uint64_t p_getUserRef(const OctStgV* psel) {
  PsLock lock;
  if (psel == nullptr) return 0;
  const AddrHit hit = findSelector(psel->length, psel->octets);
  return hit.entry != nullptr ? hit.entry->userRef : 0;
}

PsUser* p_connect_user(const OctStgV* calling) {
  PsLock lock;
  PsUser* u = calling != nullptr ? find_ps_user(calling) : nullptr;
  if (u != nullptr) return u;
  if (catchAllPUser != nullptr) {
    TM_TRACE(ps_TM_handle, 32, kSrc,
             "PSelector not recognised in the PCONNECT.req\n"
             "                           directing to the default user\n ");
    return catchAllPUser;
  }
  TM_TRACE(ps_TM_handle, 32, kSrc, "PSelector not recognised in the PCONNECT.req\n ");
  QvSetOsiError(static_cast<int32_t>(PE_PSAP_NOT));
  return nullptr;
}

// ---------------------------------------------------------------------------
// Lookups

PsUser* find_ps_user(const OctStgV* psap) {
  return psap != nullptr ? findSelector(psap->length, psap->octets).user : nullptr;
}

PsUser* oct_find_ps_user(uint32_t length, const uint8_t* octets, uint64_t* userRef) {
  const AddrHit hit = findSelector(length, octets);
  if (hit.entry != nullptr && userRef != nullptr) *userRef = hit.entry->userRef;
  return hit.user;
}

PsUser* getNullPsap() {
  return findAddr([](const PsAddrEntry& e) { return e.psel.length == 0; }).user;
}

void P_setCatchAllPUser(PsUser* user) { catchAllPUser = user; }
PsUser* P_getCatchAllPUser() { return catchAllPUser; }

// ---------------------------------------------------------------------------
// Validators

int32_t val_psapid(const OctStgV* psap) {
  if (psap == nullptr || psap->length > kPsapIdMaxLen || (psap->length > 0 && psap->octets == nullptr))
    return invalid(PE_PSAP_INV);
  return 0;
}

int32_t val_tsidx(int32_t tsIdx) {
  return tsIdx < 0 || tsIdx >= kPsMaxTsyn ? invalid(PE_TSYN_INV) : 0;
}

int32_t val_asidx(int32_t asIdx) {
  return asIdx < 0 || asIdx >= kPsMaxAsyn ? invalid(PE_ASYN_INV) : 0;
}

int32_t val_pctxid(int32_t pctxId) { return pctxId < 0 ? invalid(PE_PCTXID_INV) : 0; }

int32_t val_encode(uint32_t encoding) {
  return encoding < kEncSingleAsn1 || encoding > kEncArbitrary ? invalid(PE_ENC_INV) : 0;
}

int32_t val_pfu(uint32_t requirements) { return requirements != 0 ? invalid(PE_FUNCTIONAL) : 0; }

int32_t val_objid(const uint32_t* arcs) { return arcs == nullptr || arcs[0] > 2 || arcs[1] >= 40 ? 1 : 0; }

// ---------------------------------------------------------------------------
// Selectors

int32_t psap_cmp_os(const OctStgV* psel, uint32_t length, const uint8_t* octets) {
  if (psel == nullptr || psel->length != length) return -1;
  if (length == 0) return 0;
  if (psel->octets == nullptr || octets == nullptr) return -1;
  return std::memcmp(psel->octets, octets, length);
}

int32_t copy_oct_to_psap(OctStgV* dst, const PselBlock* src) {
  if (dst == nullptr || src == nullptr || src->length > kPselMaxLen) return 0;
  if (src->length > 0 && dst->octets == nullptr) return 0;
  if (src->length > 0) std::memcpy(dst->octets, src->octets, src->length);
  dst->length = src->length;
  return 1;
}

int32_t copy_psap_to_oct(PselBlock* dst, const OctStgV* src) {
  if (dst == nullptr || src == nullptr || src->length > kPselMaxLen || (src->length > 0 && src->octets == nullptr))
    return 0;
  if (src->length > 0) std::memcpy(dst->octets, src->octets, src->length);
  dst->length = src->length;
  return 1;
}
