// INTEGER, ENUMERATED and BOOLEAN contents.
#include "src/asn1/ber_contents.h"
#include "src/asn1/ber_values.h"

namespace {

constexpr const char* kSrcInte = "src/rtp_inte";
constexpr const char* kSrcBool = "src/rtp_bool";

// Two's-complement contents of at most four octets.
void getInteger(int32_t* out, uint32_t lineCons, uint32_t lineLong) {
  if (cons != 0) aaRaise(AAE_NOTPRIM, kSrcInte, lineCons);
  ContentsReader r;
  if (r.left() > 4) aaRaise(AAE_OVFLO, kSrcInte, lineLong);
  uint32_t v = 0;
  bool first = true;
  while (r.more()) {
    const uint8_t o = r.next();
    if (first && (o & 0x80) != 0) v = UINT32_MAX;
    first = false;
    v = (v << 8) | o;
  }
  aa_leaveLevel();
  if (out != nullptr) *out = static_cast<int32_t>(v);
}

}  // namespace

void ber_getint(int32_t* out) { getInteger(out, 70, 93); }
void ber_getlong(int32_t* out) { getInteger(out, 114, 137); }

int64_t ber_addpos(int32_t v) {
  int64_t n = 0;
  for (;;) {
    aa_putOctet(static_cast<uint8_t>(v));
    ++n;
    if (v < 128) return n;
    v >>= 8;
  }
}

int64_t ber_addneg(int32_t v) {
  int64_t n = 0;
  for (;;) {
    aa_putOctet(static_cast<uint8_t>(v));
    ++n;
    if (v >= -128) return n;
    v >>= 8;  // arithmetic: the sign stays
  }
}

int64_t ber_addlpos(int32_t v) { return ber_addpos(v); }
int64_t ber_addlneg(int32_t v) { return ber_addneg(v); }

int64_t ber_addint(int32_t v) {
  const int64_t n = v < 0 ? ber_addneg(v) : ber_addpos(v);
  cons = 0;
  return n;
}

int64_t ber_addlong(int32_t v) {
  const int64_t n = v < 0 ? ber_addlneg(v) : ber_addlpos(v);
  cons = 0;
  return n;
}

void ber_getbit(uint32_t* out) {
  const int64_t len = eopenv[lev].remaining;
  if (len == 0) aaRaise(AAE_LENERR, kSrcBool, 60);
  if (cons != 0) aaRaise(AAE_NOTPRIM, kSrcBool, 70);
  if (len != 1) aaRaise(AAE_LENERR, kSrcBool, 81);
  ContentsReader r;
  const uint8_t o = r.next();
  aa_leaveLevel();
  if (out != nullptr) *out = o;
}

int64_t ber_addbit(uint32_t v) {
  aa_putOctet(v != 0 ? 0xFF : 0x00);
  cons = 0;
  return 1;
}
