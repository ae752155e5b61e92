#include "src/acse/al_psap.h"

#include <cstring>

#include "src/acse/al_trace.h"
#include "src/runtime/xm.h"

namespace {

constexpr const char* kSrc = "src/alpsap";

// Copies `n` octets into a new zeroed item of `tree`; NULL for n = 0 and
// when memory runs out (failed is then set).
uint8_t* copyOctets(const uint8_t* src, uint32_t n, XmTree* tree, bool* failed) {
  *failed = false;
  if (n == 0) return nullptr;
  auto* d = static_cast<uint8_t*>(_xm_allocItem(tree, n, XM_ZERO));
  if (d == nullptr) {
    *failed = true;
    return nullptr;
  }
  if (src != nullptr) std::memcpy(d, src, n);
  return d;
}

uint32_t lengthOf(const OctStgV& v) { return static_cast<int32_t>(v.length) < 0 ? 0 : v.length; }

bool copySelector(OctStgV* dst, const OctStgV& src, XmTree* tree) {
  bool failed = false;
  dst->length = lengthOf(src);
  dst->octets = copyOctets(src.octets, dst->length, tree, &failed);
  if (failed) TM_TRACE(al_comTMHandle, AL_TL_ERROR, kSrc, "*** No memory\n");
  return !failed;
}

}  // namespace

UL_Paddress* al_copyPSAP(UL_Paddress* dst, const UL_Paddress* src, XmTree* tree) {
  if (dst == nullptr || src == nullptr) return nullptr;
  dst->mask = src->mask;
  if ((src->mask & UL_PADDR_PSEL) != 0 && !copySelector(&dst->pSel, src->pSel, tree)) return nullptr;
  if ((src->mask & UL_PADDR_SSEL) != 0 && !copySelector(&dst->sSel, src->sSel, tree)) return nullptr;
  if ((src->mask & UL_PADDR_TSEL) != 0 && !copySelector(&dst->tSel, src->tSel, tree)) return nullptr;

  UL_Link* head = &dst->nAddrs.links;
  head->next = head->prev = head;
  dst->nAddrs.count = 0;
  if (src->nAddrs.count == 0) return dst;
  const UL_Link* srcHead = &src->nAddrs.links;
  // The ring decides, not the count: a count that disagrees with the ring
  // is never trusted for a walk.
  for (const UL_Link* l = srcHead->next; l != nullptr && l != srcHead; l = l->next) {
    const auto* from = reinterpret_cast<const UL_NaddrEntry*>(l);
    auto* to = static_cast<UL_NaddrEntry*>(_xm_allocItem(tree, sizeof(UL_NaddrEntry), XM_ZERO));
    bool failed = to == nullptr;
    if (!failed) {
      to->addr.length = lengthOf(from->addr);
      to->addr.octets = copyOctets(from->addr.octets, to->addr.length, tree, &failed);
    }
    if (failed) {
      TM_TRACE(al_comTMHandle, AL_TL_TRIVIA, kSrc, "No memory\n");
      return nullptr;
    }
    to->links.prev = head->prev;
    to->links.next = head;
    head->prev->next = &to->links;
    head->prev = &to->links;
    ++dst->nAddrs.count;
  }
  return dst;
}
