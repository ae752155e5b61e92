// OBJECT IDENTIFIER contents in the fixed form (up to 16 arcs in place) and
// the variable form (arcs in the decode tree).
#include <cstdlib>

#include "src/asn1/ber_contents.h"
#include "src/asn1/ber_values.h"

namespace {

constexpr const char* kSrcObji = "src/rtp_obji";

// One base-128 sub-identifier (bit 8 set: more octets follow). Its value
// must fit an arc of 32 bits.
uint32_t readSubId(ContentsReader& r, uint32_t endLine) {
  uint64_t v = 0;
  for (;;) {
    if (!r.more()) aaRaise(AAE_NOTEOC, kSrcObji, endLine);
    const uint8_t o = r.next();
    v = (v << 7) | (o & 0x7Fu);
    if (v > UINT32_MAX) aaRaise(AAE_OBJIDOVFLO, kSrcObji, __LINE__);
    if ((o & 0x80) == 0) return static_cast<uint32_t>(v);
  }
}

// Decodes the contents into arcs[0..max); the arc count.
uint32_t readArcs(uint32_t* arcs, uint32_t max, uint32_t maxLine, uint32_t endLine) {
  ContentsReader r;
  if (!r.more()) aaRaise(AAE_NOTEOC, kSrcObji, endLine);
  uint32_t count = 0;
  auto store = [&](uint32_t arc) {
    if (count >= max) aaRaise(AAE_OBJIDOVFLO, kSrcObji, maxLine);
    arcs[count++] = arc;
  };
  const uint32_t first = readSubId(r, endLine);
  if (first < 80) {
    store(first / 40);
    store(first % 40);
  } else {
    store(2);
    store(first - 80);
  }
  while (r.more()) store(readSubId(r, endLine));
  return count;
}

// One sub-identifier in minimal base-128, written back to front.
int64_t addSubId(uint64_t v) {
  int64_t n = 1;
  aa_putOctet(static_cast<uint8_t>(v & 0x7F));
  for (v >>= 7; v != 0; v >>= 7, ++n) aa_putOctet(static_cast<uint8_t>((v & 0x7F) | 0x80));
  return n;
}

int64_t addArcs(const uint32_t* arcs, uint32_t count, uint32_t line) {
  // Two arcs at least: the first sub-identifier carries both.
  if (arcs == nullptr || count < 2) aaRaise(AAE_BADOBJID, kSrcObji, line);
  for (uint32_t i = 0; i < count; ++i)
    if (static_cast<int32_t>(arcs[i]) < 0) aaRaise(AAE_BADOBJID, kSrcObji, line);
  int64_t n = 0;
  for (uint32_t i = count; i-- > 2;) n += addSubId(arcs[i]);
  n += addSubId(static_cast<uint64_t>(arcs[0]) * 40 + arcs[1]);
  cons = 0;
  return n;
}

}  // namespace

void ber_getobj(uint32_t max, ObjId* id) {
  if (cons != 0) aaRaise(AAE_NOTPRIM, kSrcObji, 59);
  if (max > kObjIdMaxArcs) max = kObjIdMaxArcs;
  id->count = readArcs(id->arcs, max, 121, 133);
  aa_leaveLevel();
}

uint32_t ber_getobjv(ObjIdV* id) {
  id->count = 0;
  id->arcs = nullptr;
  if (cons != 0) aaRaise(AAE_NOTPRIM, kSrcObji, 155);
  // Count the sub-identifiers first, then come back.
  uint8_t* const pdu = aapdu;
  uint8_t* const buf = aabuf;
  SessionBuffer* const cur = currentBuffer;
  uint32_t subIds = 0;
  {
    ContentsReader r;
    while (r.more())
      if ((r.next() & 0x80) == 0) ++subIds;
  }
  aapdu = pdu;
  aabuf = buf;
  currentBuffer = cur;
  if (subIds == 0) aaRaise(AAE_BADOBJID, kSrcObji, 183);
  auto* arcs = static_cast<uint32_t*>(aamalloc((static_cast<uint64_t>(subIds) + 1) * sizeof(uint32_t)));
  if (arcs == nullptr) aaRaise(AAE_NOMEM, kSrcObji, 193);
  id->count = readArcs(arcs, subIds + 1, 253, 253);
  id->arcs = arcs;
  aa_leaveLevel();
  return id->count;
}

int64_t ber_addobj(const ObjId* id) {
  if (id == nullptr || id->count > kObjIdMaxArcs) aaRaise(AAE_BADOBJID, kSrcObji, 291);
  return addArcs(id->arcs, id->count, 291);
}

int64_t ber_addobjv(ObjIdV* id) {
  if (id == nullptr) aaRaise(AAE_BADOBJID, kSrcObji, 360);
  const int64_t n = addArcs(id->arcs, id->count, 360);
  if (freeall != 0 && id->arcs != nullptr) {
    std::free(id->arcs);
    id->arcs = nullptr;
  }
  return n;
}
