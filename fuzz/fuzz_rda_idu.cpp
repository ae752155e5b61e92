// RDA messages of both families, and the RTSE APDUs and AE identifiers that
// travel beside them, decoded from arbitrary octets; a message that was read
// is written again, and what was written must read back and write again to
// the same octets.
//
// Input: octet 0 picks the size of the buffers the chain is cut into (1-64),
// octet 1 holds switches: bits 0-1 the decoder (0 ISO RDA, 1 X/Open RDA,
// 2 RTSE APDU, 3 AE identifier), bit 2 extensibility, bit 3 an empty buffer
// between the pieces; the rest is the encoding.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/timer2.h"
#include "src/asn1/ber.h"
#include "src/asn1/rda_idu.h"
#include "src/asn1/rtse.h"
#include "src/asn1/ul_codec.h"
#include "fuzz/fuzz_support.h"
#include "src/presentation/pmachine.h"

namespace {

// A presentation connection whose context 1 carries INTEGER values, for
// the EXTERNAL form of authentication values.
void* prsInt(void*) {
  if (ber_getid(0, 2) < 0) aaRaise(AAE_MSGPARAM, "fuzz", __LINE__);
  auto* v = static_cast<int32_t*>(aamalloc(sizeof(int32_t)));
  if (v == nullptr) aaRaise(AAE_NOMEM, "fuzz", __LINE__);
  ber_getint(v);
  return v;
}
int64_t fmtInt(void* v) {
  if (v == nullptr) aaRaise(AAE_INVVALUE, "fuzz", __LINE__);  // a value whose parse failed
  return ber_addid(0, 2, ber_addint(*static_cast<int32_t*>(v)));
}

PsUser gUser;
Pmachine gPm;

void setUpConnection() {
  tst[0].id = ObjId{3, {2, 1, 1}};
  tst[0].encoding = kEncSingleAsn1;
  ntst = 1;
  ps_asn1_tsidx = 0;
  clear_ast(&gUser);
  AbsSyntax& a = gUser.asTable.entries[0];
  a.id = ObjId{3, {1, 9, 0}};
  a.format = fmtInt;
  a.parse = prsInt;
  a.tsSlots[0] = 0;
  a.tsCount = 1;
  gUser.asTable.count = 1;
  clear_ppm(&gPm);
  gPm.user = &gUser;
  gPm.pcdt[1] = PcdtEntry{1, 0, 0, kPcdtAccepted, -1, 1, {0, -1, -1, -1}};
  gPm.idMap[1] = 1;
  gPm.definedCount = 1;
  set_Pcalled(&gPm);
}

int gDecoder = 0;

void* decodeOne(void*) {
  switch (gDecoder) {
    case 0:
      return aRDAIdu(nullptr);
    case 1:
      return aRDAXOPENIdu(nullptr);
    case 2:
      return aRTS_apdus();
    default:
      return aUL_AEId();
  }
}

int64_t encodeOne(void* record) {
  switch (gDecoder) {
    case 0:
      return fRDAIdu(record);
    case 1:
      return fRDAXOPENIdu(record);
    case 2:
      return fRTS_apdus(static_cast<RTS_apdus*>(record));
    default:
      return fUL_AEId(static_cast<UL_AEId*>(record));
  }
}

std::vector<uint8_t> octetsOf(const SessionBuffer* chain) {
  std::vector<uint8_t> out;
  const SessionBuffer* b = chain;
  do {
    out.insert(out.end(), b->data, b->data + b->length);
    b = b->next;
  } while (b != chain);
  return out;
}

void* decode(SessionBuffer* chain) {
  rtp_setp(chain);
  int32_t err = 0;
  void* record = p_parse(decodeOne, nullptr, &err);
  if ((record != nullptr) != (err == 0)) __builtin_trap();
  return record;
}

// The octets of `record` written; *err the code of the pass.
std::vector<uint8_t> encode(void* record, uint32_t* err) {
  rtp_setf(balloc(-1));
  *err = 0;
  QvSetOsiError(0);
  p_format(encodeOne, record, err);
  SessionBuffer* out = nullptr;
  rtp_getf(&out);
  std::vector<uint8_t> octets = *err == 0 ? octetsOf(out) : std::vector<uint8_t>{};
  freeChain(out);
  return octets;
}

// Codes with which a record that was read may fail to be written: an
// alternative kept only under extensibility (31), an identifier arc beyond
// 31 bits (12), an EXTERNAL whose context cannot format (15, presentation
// codes).
bool mayFailToWrite(uint32_t code) { return code == AAE_NONSPEC || code == AAE_BADOBJID || code == AAE_BADENC || code >= 0xA000; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzStartRecordSet();
  if (init_buffers(20, 64) == 0) std::abort();
  setUpConnection();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t piece = 1 + data[0] % 64;
  const uint8_t flags = data[1];
  data += 2;
  size -= 2;
  gDecoder = flags & 3;
  aaextensibility = (flags >> 2) & 1;

  SessionBuffer* chain = chainOf(data, size, piece, (flags & 8) != 0);
  void* record = decode(chain);
  freeChain(chain);

  if (record != nullptr) {
    uint32_t err = 0;
    const std::vector<uint8_t> first = encode(record, &err);
    if (err != 0 && !mayFailToWrite(err)) __builtin_trap();
    if (err == 0) {
      // What we wrote reads back, across buffers of the same size, and
      // writes again to the same octets.
      SessionBuffer* again = chainOf(first.data(), first.size(), piece, false);
      void* back = decode(again);
      freeChain(again);
      if (back == nullptr) __builtin_trap();
      const std::vector<uint8_t> second = encode(back, &err);
      if (err != 0 || second != first) __builtin_trap();
    }
  }
  aafreeall(aagetlist());
  rtp_setp(nullptr);
  if (QvGetSbCount() != 0) __builtin_trap();  // every buffer went back
  aaextensibility = 0;
  return 0;
}
