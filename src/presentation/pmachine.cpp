// Presentation connection records and the machine list.
#include "src/presentation/pmachine.h"

#include <cstring>

#include "common/timer2.h"
#include "src/presentation/perrno.h"
#include "src/presentation/pgidu.h"
#include "src/presentation/plock.h"
#include "src/presentation/ps_trace.h"
#include "src/runtime/xm.h"
#include "src/session/session.h"

PmList plist = {nullptr, nullptr, 0};
Pmachine* pP = nullptr;
uint32_t directMult = 0;
uint32_t pdvFmtPrs = 0;

namespace {

constexpr const char* kSrc = "src/ps_pmach";

template <class Fn>
Pmachine* findMachine(Fn matches) {
  for (Pmachine* m = plist.next; m != nullptr; m = m->next)
    if (matches(*m)) return m;
  return nullptr;
}

}  // namespace

void set_Pcalled(Pmachine* pm) { pP = pm; }

Pmachine* pm_alloc(const OctStgV* psel, Smachine* s, PsUser* user, uint64_t userRef) {
  PsLock lock;
  if (psel != nullptr && (psel->length > kPselMaxLen || (psel->length > 0 && psel->octets == nullptr))) {
    QvSetOsiError(static_cast<int32_t>(PE_PSAP_INV));
    return nullptr;
  }
  XmTree* tree = _xm_allocTree(nullptr);
  auto* pm = tree != nullptr ? static_cast<Pmachine*>(_xm_allocItem(tree, sizeof(Pmachine), XM_ZERO)) : nullptr;
  auto* octets = pm != nullptr ? static_cast<uint8_t*>(_xm_allocItem(tree, kPselMaxLen, XM_ZERO)) : nullptr;
  XmTree* abortTree = octets != nullptr ? _xm_allocTree(tree) : nullptr;
  auto* abort = abortTree != nullptr ? static_cast<GIDU*>(_xm_allocItem(abortTree, sizeof(GIDU), XM_ZERO)) : nullptr;
  void* abortBuffer = abort != nullptr ? _xm_allocItem(abortTree, kPmAbortBufferSize, XM_ZERO) : nullptr;
  if (abortBuffer == nullptr) {
    if (tree != nullptr) _xm_freeTree(tree);
    QvSetOsiError(static_cast<int32_t>(PE_MALLOC));
    return nullptr;
  }
  clear_ppm(pm);
  // The selector is copied, not shared: the user's entry may go first.
  pm->localPsel.octets = octets;
  if (psel != nullptr && psel->length > 0) {
    std::memcpy(octets, psel->octets, psel->length);
    pm->localPsel.length = psel->length;
  }
  al_selfLink(abort);
  abort->extra = abortBuffer;
  pm->abortGidu = abort;
  pm->s = s;
  pm->user = user;
  pm->userRef = userRef;
  pm->prev = plist.prev;
  if (plist.prev != nullptr) plist.prev->next = pm;
  else plist.next = pm;
  plist.prev = pm;
  ++plist.count;
  return pm;
}

void pm_dealloc(Pmachine* pm) {
  if (pm == nullptr) return;
  PsLock lock;
  TM_TRACE(ps_TM_handle, 64, kSrc, "\npm_dealloc(p=%lx)\n\n", reinterpret_cast<unsigned long>(pm));
  if (find_pm_pm(pm) != nullptr) {
    if (pm->prev != nullptr) pm->prev->next = pm->next;
    else plist.next = pm->next;
    if (pm->next != nullptr) pm->next->prev = pm->prev;
    else plist.prev = pm->prev;
    --plist.count;
  }
  if (pP == pm) pP = nullptr;
  // Segments of an unfinished unit belong to the buffer pool, not the tree.
  s_freeChain(pm->heldChain);
  _xm_freeTree(xm_getParentOfItem(pm));
}

void clear_pcdt_entry(PcdtEntry* e) { *e = PcdtEntry{-1, -1, -1, kPcdtAccepted, -1, 0, {-1, -1, -1, -1}}; }

void clear_pcdt(Pmachine* pm) {
  for (PcdtEntry& e : pm->pcdt) clear_pcdt_entry(&e);
  for (int32_t& id : pm->idMap) id = -1;
  for (uint32_t& m : pm->ctxMarks) m = 0;
}

void clear_ppm(Pmachine* pm) {
  if (pm == nullptr) return;
  std::memset(static_cast<void*>(pm), 0, sizeof *pm);
  pm->dfltAsIdx = -1;
  pm->dfltTsIdx = -1;
  clear_pcdt(pm);
}

Pmachine* find_pm_pm(const Pmachine* pm) {
  return pm != nullptr ? findMachine([&](const Pmachine& m) { return &m == pm; }) : nullptr;
}

Pmachine* find_pm_apref(uint64_t connRef) {
  return findMachine([&](const Pmachine& m) { return m.connRef == connRef; });
}

Pmachine* find_pm_sm(const Smachine* s) {
  return s != nullptr ? findMachine([&](const Pmachine& m) { return m.s == s; }) : nullptr;
}

Pmachine* find_pm_psapid(const OctStgV* psap) {
  if (psap == nullptr) return nullptr;
  return findMachine([&](const Pmachine& m) { return psap_cmp_os(&m.localPsel, psap->length, psap->octets) == 0; });
}

OctStgV* p_get_local_psel(Pmachine* pm) { return find_pm_pm(pm) != nullptr ? &pm->localPsel : nullptr; }
