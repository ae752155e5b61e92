// ANY: the next element copied whole (identifier, length and contents), and
// such a copy written back as it is.
#include "src/asn1/ber_length.h"
#include "src/asn1/ber_runtime.h"
#include "src/asn1/ber_values.h"

namespace {

constexpr const char* kSrcAny = "src/rtp_any";

// Octets from (fromBuf, from) up to (toBuf, to), walking forward.
uint64_t distance(const SessionBuffer* fromBuf, const uint8_t* from, const SessionBuffer* toBuf, const uint8_t* to) {
  uint64_t n = 0;
  const SessionBuffer* b = fromBuf;
  const uint8_t* p = from;
  while (b != toBuf) {
    n += static_cast<uint64_t>(b->data + b->length - p);
    b = b->next;
    if (b == headOfBufferChain) aaRaise(AAE_LENERR, kSrcAny, __LINE__);
    p = b->data;
  }
  return n + static_cast<uint64_t>(to - p);
}

}  // namespace

uint32_t ber_getany(BerAny* a) {
  a->length = 0;
  a->pointer = nullptr;
  aa_normalise();
  aa_push_mark();
  SessionBuffer* const startBuf = currentBuffer;
  uint8_t* const start = aapdu;
  if (ber_gettype() == 0) {
    aa_pop_restore();
    return 0;
  }
  // Over the element (its end-of-contents included), then measure it.
  aa_skip();
  const uint64_t n = distance(startBuf, start, currentBuffer, aapdu);
  if (n > UINT32_MAX) aaRaise(AAE_OVFLO, kSrcAny, __LINE__);
  auto* p = static_cast<uint8_t*>(aamalloc(n));
  if (p == nullptr) aaRaise(AAE_NOMEM, kSrcAny, 109);
  aa_pop_restore();
  aa_copy(nullptr, p, n);
  a->length = static_cast<uint32_t>(n);
  a->pointer = p;
  return a->length;
}

int64_t ber_addany(const BerAny* a) {
  if (a == nullptr || a->pointer == nullptr) return 0;
  aa_copy(a->pointer, nullptr, a->length);
  cons = 32;
  return a->length;
}
