// BIT STRING contents in three forms: variable (octets with an unused-bit
// count), a flag word of up to 32 bits and an array of flags.
#include <cstdlib>

#include "src/asn1/ber_contents.h"
#include "src/asn1/ber_length.h"
#include "src/asn1/ber_values.h"

namespace {

constexpr const char* kSrcBits = "src/rtp_bits";

// Source lines of the checks of one bit-string reader.
struct BitLines {
  uint32_t unused;  // unused-bit count above 7
  uint32_t empty;   // no unused-bits octet
  uint32_t field;   // no bits but a non-zero unused count
  uint32_t cap;     // more bits than the target holds
  uint32_t tag;     // a segment that is no BIT STRING
};
constexpr BitLines kWordPrim{615, 627, 637, 661, 0};
constexpr BitLines kWordCons{770, 781, 792, 826, 879};
constexpr BitLines kFlagsPrim{302, 327, 315, 346, 0};
constexpr BitLines kFlagsCons{461, 471, 481, 507, 560};

// Bit p of the stream (bit 8 of the first octet is bit 0) goes to the word
// as a whole octet: the first contents octet is the word's low octet.
struct WordSink {
  uint32_t word = 0;
  void set(uint64_t p) { word |= 1u << (8 * (p / 8) + 7 - p % 8); }
};

struct FlagSink {
  uint32_t* flags;
  void set(uint64_t p) { flags[p] = 255; }
};

// The contents of one primitive bit string (an element or a segment) into
// the sink from bit `bits` on, at most up to `cap` bits; the level is left.
template <class Sink>
void readBitSegment(Sink& sink, uint64_t& bits, uint64_t cap, const BitLines& l) {
  ContentsReader r;
  if (!r.more()) aaRaise(AAE_OVFLO, kSrcBits, l.empty);
  const uint8_t unused = r.next();
  if (unused > 7) aaRaise(AAE_UNKNOWN_ANY, kSrcBits, l.unused);
  const int64_t octets = r.left();
  if (octets == 0 && unused != 0) aaRaise(AAE_UNKNOWN_ANY, kSrcBits, l.field);
  const uint64_t segBits = 8 * static_cast<uint64_t>(octets) - unused;
  uint64_t take = segBits;
  if (segBits > cap - bits) {
    if (aaextensibility == 0) aaRaise(AAE_OVFLO, kSrcBits, l.cap);
    take = cap - bits;
  }
  for (uint64_t done = 0; done < take;) {
    const uint8_t o = r.next();
    for (uint32_t j = 0; j < 8 && done < take; ++j, ++done)
      if ((o & (0x80u >> j)) != 0) sink.set(bits + done);
  }
  r.copy(nullptr, r.left());
  bits += take;
  aa_leaveLevel();
}

template <class Sink>
void walkBitSegments(Sink& sink, uint64_t& bits, uint64_t cap, const BitLines& l) {
  while (ber_chkend() == 0) {
    if (ber_getid(0, 3) < 0) aaRaise(AAE_NOTBITS, kSrcBits, l.tag);
    if (cons != 0) walkBitSegments(sink, bits, cap, l);
    else readBitSegment(sink, bits, cap, l);
  }
}

// Segments of a constructed bit string into [dst, end); only the last may
// have unused bits, which become the value's.
struct BitvWalk {
  uint8_t* dst;
  const uint8_t* end;
  uint32_t unused;
};

void getbitv_cons(BitvWalk& w) {
  while (ber_chkend() == 0) {
    if (ber_getid(0, 3) < 0) aaRaise(AAE_NOTBITS, kSrcBits, 250);
    if (cons != 0) {
      getbitv_cons(w);
      continue;
    }
    if (w.unused != 0) aaRaise(AAE_RESIDUE, kSrcBits, 210);
    ContentsReader r;
    if (!r.more()) aaRaise(AAE_LENERR, kSrcBits, __LINE__);
    const uint8_t unused = r.next();
    if (unused > 7) aaRaise(AAE_UNKNOWN_ANY, kSrcBits, 224);
    const int64_t n = r.left();
    if (n == 0 && unused != 0) aaRaise(AAE_UNKNOWN_ANY, kSrcBits, 236);
    if (n > w.end - w.dst) aaRaise(AAE_OVFLO, kSrcBits, __LINE__);
    r.copy(w.dst, n);
    w.dst += n;
    w.unused = unused;
    aa_leaveLevel();
  }
}

}  // namespace

uint32_t ber_getbitv(BitStgV* v) {
  v->octets = nullptr;
  v->count = 0;
  v->unused = 0;
  const int64_t len = ber_getlen();
  if (len == 0) {
    if (cons == 0) aaRaise(AAE_LENERR, kSrcBits, 92);
    aa_skip();
    return 0;
  }
  if (len > static_cast<int64_t>(UINT32_MAX)) aaRaise(AAE_OVFLO, kSrcBits, __LINE__);
  const uint64_t octets = static_cast<uint64_t>(len) - 1;
  uint8_t* p = nullptr;
  if (octets > 0) {
    p = static_cast<uint8_t*>(aamalloc(octets));
    if (p == nullptr) aaRaise(AAE_NOMEM, kSrcBits, 110);
  }
  if (cons != 0) {
    BitvWalk w{p, p + octets, 0};
    getbitv_cons(w);
    v->octets = p;
    v->count = static_cast<uint32_t>(w.dst - p);
    v->unused = w.unused;
    return v->count;
  }
  ContentsReader r;
  const uint8_t unused = r.next();
  if (unused > 7) aaRaise(AAE_UNKNOWN_ANY, kSrcBits, 144);
  if (octets == 0 && unused != 0) aaRaise(AAE_UNKNOWN_ANY, kSrcBits, 155);
  r.copy(p, static_cast<int64_t>(octets));
  aa_leaveLevel();
  v->octets = p;
  v->count = static_cast<uint32_t>(octets);
  v->unused = unused;
  return v->count;
}

int64_t ber_addbitv(BitStgV* v) {
  const uint8_t* p = v->octets;
  const uint32_t n = p != nullptr ? v->count : 0;
  const uint32_t tail = n % kBerSegment;
  const uint32_t pieces = n / kBerSegment;
  const uint8_t unused = static_cast<uint8_t>(v->unused);
  cons = 0;
  if (tail > 0) {
    aa_copy(p + static_cast<size_t>(pieces) * kBerSegment, nullptr, tail);
    aa_putOctet(unused);
  }
  if (n == 0) aa_putOctet(0x00);
  int64_t total = tail + 1;
  if (pieces > 0) {
    total = 0;
    if (tail > 0) total += ber_addid(0, 3, tail + 1);
    for (uint32_t i = pieces; i-- > 0;) {
      aa_copy(p + static_cast<size_t>(i) * kBerSegment, nullptr, kBerSegment);
      aa_putOctet(i == pieces - 1 && tail == 0 ? unused : 0);
      cons = 0;
      total += ber_addid(0, 3, kBerSegment + 1);
    }
  }
  if (freeall != 0 && v->octets != nullptr) {
    std::free(v->octets);
    v->octets = nullptr;
  }
  return total;
}

uint32_t ber_getbitw(uint32_t* w) {
  WordSink sink;
  uint64_t bits = 0;
  if (cons == 0) readBitSegment(sink, bits, 32, kWordPrim);
  else walkBitSegments(sink, bits, 32, kWordCons);
  if (w != nullptr) *w = sink.word;
  return static_cast<uint32_t>((bits + 7) / 8);
}

int64_t ber_addbitw(uint32_t nbits, uint32_t w) {
  if (nbits > 32) aaRaise(AAE_OVFLO, kSrcBits, __LINE__);
  const uint32_t octets = (nbits + 7) / 8;
  const uint32_t unused = 8 * octets - nbits;
  // The unused bits of the last octet on the wire (the word's highest octet
  // written) go out as zero, as a reader drops them.
  if (octets > 0) w &= ~(((1u << unused) - 1u) << (8 * (octets - 1)));
  for (uint32_t i = octets; i-- > 0;) aa_putOctet(static_cast<uint8_t>(w >> (8 * i)));
  aa_putOctet(static_cast<uint8_t>(unused));
  cons = 0;
  return octets + 1;
}

int32_t ber_getbits(int32_t max, uint32_t* flags) {
  if (max < 0 || flags == nullptr) max = 0;
  for (int32_t i = 0; i < max; ++i) flags[i] = 0;
  FlagSink sink{flags};
  uint64_t bits = 0;
  if (cons == 0) readBitSegment(sink, bits, static_cast<uint64_t>(max), kFlagsPrim);
  else walkBitSegments(sink, bits, static_cast<uint64_t>(max), kFlagsCons);
  return static_cast<int32_t>(bits);
}

int64_t ber_addbits(uint32_t n, const uint32_t* flags) {
  if (flags == nullptr) n = 0;
  const uint32_t octets = (n + 7) / 8;
  for (uint32_t k = octets; k-- > 0;) {
    uint8_t o = 0;
    for (uint32_t j = 0; j < 8; ++j) {
      const uint32_t i = 8 * k + j;
      if (i < n && flags[i] != 0) o |= static_cast<uint8_t>(0x80u >> j);
    }
    aa_putOctet(o);
  }
  aa_putOctet(static_cast<uint8_t>(8 * octets - n));
  cons = 0;
  return octets + 1;
}
