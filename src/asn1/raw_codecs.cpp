// A number carried raw in up to four octets, and pre-encoded octets passed
// through unchanged.
#include "src/asn1/ber_length.h"
#include "src/asn1/ber_runtime.h"
#include "src/asn1/decode_tree.h"

uint32_t aGenericPtr() {
  if (cons != 0) aaRaise(AAE_NOTPRIM, "ilinux/genptr", 134);
  const int64_t n = eopenv[lev].remaining;
  if (n < 0) aaRaise(AAE_LENERR, "ilinux/genptr", __LINE__);
  if (n > 4) aaRaise(AAE_OVFLO, "ilinux/genptr", 152);
  uint32_t v = 0;
  for (int64_t i = 0; i < n; ++i) {
    const uint8_t o = aa_getOctet(eop[lev]);
    if (i == 0 && (o & 0x80) != 0) v = UINT32_MAX;
    v = (v << 8) | o;
  }
  aa_leaveLevel();
  return v;
}

int64_t fGenericPtr(uint32_t v) {
  int64_t n = 1;
  aa_putOctet(static_cast<uint8_t>(v));
  while (v >= 128) {
    v >>= 8;
    aa_putOctet(static_cast<uint8_t>(v));
    ++n;
  }
  cons = 0;
  return n;
}

uint8_t* aPerm() {
  const int64_t n = ber_getlen();
  auto* p = static_cast<uint8_t*>(aamalloc(static_cast<uint64_t>(n)));
  if (p == nullptr) aaRaise(AAE_NOMEM, "ilinux/perm", 131);
  aa_copy(nullptr, p, static_cast<uint64_t>(n));
  return p;
}

int64_t fPerm(const uint8_t* p) {
  if (p == nullptr) return 0;
  const int64_t n = p[2] * 256 + p[3];
  aa_copy(p, nullptr, static_cast<uint64_t>(n));
  return n;
}
