// Management counters, thresholds and event reports of the presentation
// layer.
#include "src/presentation/management.h"

#include <cstring>

#include "common/timer2.h"
#include "src/asn1/ber_runtime.h"
#include "src/presentation/perrno.h"
#include "src/presentation/plock.h"
#include "src/presentation/pmachine.h"
#include "src/presentation/ps_trace.h"
#include "src/runtime/xm.h"

PsCounter cprRcvNoReason{};
PsCounter cprSndNoReason{};
PsCounter arpSndNoReason{};
PsCounter cprRcvTransGrp{};
PsCounter cprRcvPermGrp{};
PsCounter cprSndPermGrp{};
PsCounter arpSndPrErrGrp{};

uint32_t ps_func = 0;
uint8_t psMfgInfo[kPsInfoSize] = {};
uint8_t psOptInfo[kPsInfoSize] = {};
PsEventHook psEvent = nullptr;

namespace {

constexpr const char* kSrc = "src/ps_nm";

// An attribute: the count or the threshold of a counter.
struct Attribute {
  uint32_t number;
  PsCounter* counter;
  bool threshold;
  uint32_t* word() const { return threshold ? &counter->threshold : &counter->count; }
};

const Attribute* attributeOf(uint32_t number) {
  static const Attribute kAttributes[] = {
      {16385, &cprRcvNoReason, false}, {16386, &cprSndNoReason, false}, {16387, &cprRcvTransGrp, false},
      {16388, &cprRcvTransGrp, true},  {16389, &cprRcvPermGrp, false},  {16390, &cprRcvPermGrp, true},
      {16391, &cprSndPermGrp, false},  {16392, &cprSndPermGrp, true},   {16393, &arpSndNoReason, false},
      {16394, &arpSndPrErrGrp, false}, {16395, &arpSndPrErrGrp, true},
  };
  for (const Attribute& a : kAttributes)
    if (a.number == number) return &a;
  return nullptr;
}

bool copyOctets(XmTree* tree, OctStgV* dst, const uint8_t* src, uint32_t length) {
  dst->length = length;
  dst->octets = nullptr;
  if (length == 0) return true;
  dst->octets = static_cast<uint8_t*>(_xm_allocItem(tree, length, 0));
  if (dst->octets == nullptr) return false;
  std::memcpy(dst->octets, src, length);
  return true;
}

// The local address as a presentation address in a tree of its own; NULL
// when memory runs out.
UL_Paddress* buildReport(const Pmachine* pm) {
  auto* r = static_cast<UL_Paddress*>(_xm_allocItemWithTree(sizeof(UL_Paddress), XM_ZERO));
  if (r == nullptr) return nullptr;
  XmTree* tree = xm_getParentOfItem(r);
  r->nAddrs.links.next = r->nAddrs.links.prev = &r->nAddrs.links;
  bool ok = true;
  if (pm != nullptr && pm->localPsel.length > 0) {
    r->mask |= UL_PADDR_PSEL;
    ok = ok && copyOctets(tree, &r->pSel, pm->localPsel.octets, pm->localPsel.length);
  }
  if (local_ssap.ssel.len > 0) {
    r->mask |= UL_PADDR_SSEL;
    ok = ok && copyOctets(tree, &r->sSel, local_ssap.ssel.sel, local_ssap.ssel.len);
  }
  if (local_ssap.tsel.len > 0) {
    r->mask |= UL_PADDR_TSEL;
    ok = ok && copyOctets(tree, &r->tSel, local_ssap.tsel.sel, local_ssap.tsel.len);
  }
  auto* n = ok ? static_cast<UL_NaddrEntry*>(_xm_allocItem(tree, sizeof(UL_NaddrEntry), XM_ZERO)) : nullptr;
  if (n == nullptr || !copyOctets(tree, &n->addr, local_ssap.naddr.addr, local_ssap.naddr.len)) {
    _xm_freeTree(tree);
    return nullptr;
  }
  n->links.next = n->links.prev = &r->nAddrs.links;
  r->nAddrs.links.next = r->nAddrs.links.prev = &n->links;
  r->nAddrs.count = 1;
  return r;
}

}  // namespace

void p_nminit() {
  PsLock lock;
  for (PsCounter* c : {&cprRcvNoReason, &cprSndNoReason, &arpSndNoReason, &cprRcvTransGrp, &cprRcvPermGrp,
                       &cprSndPermGrp, &arpSndPrErrGrp})
    *c = PsCounter{};
  cprRcvTransGrp.attribute = 16388;
  cprRcvPermGrp.attribute = 16390;
  cprSndPermGrp.attribute = 16392;
  arpSndPrErrGrp.attribute = 16395;
}

int32_t p_get_profile(uint32_t* functions, uint8_t* mfgInfo, uint8_t* optInfo) {
  if (functions == nullptr || mfgInfo == nullptr || optInfo == nullptr) {
    QvSetOsiError(static_cast<int32_t>(PE_MISS_PARM));
    return 0;
  }
  PsLock lock;
  *functions = ps_func;
  std::memcpy(mfgInfo, psMfgInfo, kPsInfoSize);
  std::memcpy(optInfo, psOptInfo, kPsInfoSize);
  return 1;
}

int32_t p_get_attr(uint32_t attribute, uint32_t* value) {
  if (value == nullptr) {
    QvSetOsiError(static_cast<int32_t>(PE_MISS_PARM));
    return 0;
  }
  PsLock lock;
  const Attribute* a = attributeOf(attribute);
  if (a == nullptr) {
    QvSetOsiError(static_cast<int32_t>(PE_NO_ATTR));
    return 0;
  }
  *value = *a->word();
  return 1;
}

int32_t p_set_attr(uint32_t attribute, uint32_t value) {
  PsLock lock;
  const Attribute* a = attributeOf(attribute);
  if (a == nullptr || !a->threshold) {
    QvSetOsiError(static_cast<int32_t>(PE_NO_ATTR));
    return 0;
  }
  a->counter->threshold = value;
  a->counter->running = 0;  // counted against the old threshold
  return 1;
}

void P_increment(PsCounter* counter, Pmachine* pm, const void* remote, const void* responding, int32_t reason) {
  if (counter == nullptr) return;
  PsLock lock;
  ++counter->count;
  if (counter->threshold == 0) return;
  if (++counter->running < counter->threshold) return;
  counter->running = 0;
  UL_Paddress* report = buildReport(pm);
  if (report == nullptr) {
    QvSetOsiError(static_cast<int32_t>(PE_MALLOC));
    TM_TRACE(ps_TM_handle, 8, kSrc, "\nP_increment(): Memory Failure sending event\n");
    TM_TRACE(tm_ts_modCB, 4096, kSrc, "\nP_increment(): Memory Failure sending event\n");
    return;
  }
  if (psEvent != nullptr) psEvent(counter->attribute, remote, report, responding, reason);
  else _xm_freeTree(xm_getParentOfItem(report));
}
