// RDA messages of both families, the SQL values, type descriptors, result
// rows and DBL exceptions inside them, and the RTSE APDUs and AE identifiers
// that travel beside them, decoded from arbitrary octets; a value that was
// read is written again, and what was written must read back and write
// again to the same octets.
//
// Input: octet 0 picks the size of the buffers the chain is cut into (1-64);
// octet 1 holds switches: bit 0 extensibility, bit 1 an empty buffer between
// the pieces, bit 2 the rest is the contents of the message type of octet 3;
// octet 2 picks the decoder (kDecoders); octet 3 the message type (an
// alternative of the top-level CHOICE, the same in both families), so that
// the contents of one message meet every type; the rest is the encoding.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include "common/timer2.h"
#include "src/asn1/ber.h"
#include "src/asn1/rda_idu.h"
#include "src/asn1/rda_sql.h"
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

enum Decoder : uint8_t {
  kIsoIdu, kXopenIdu, kRtse, kAeId,
  kIsoValue, kXopenValue, kIsoDescr, kXopenDescr, kIsoRow, kXopenRow, kIsoExcp, kXopenExcp,
  kDecoders
};
Decoder gDecoder = kIsoIdu;

// Tag codes of the top-level alternatives, in table order.
constexpr uint32_t kMessageTypes[] = {
    RDA_INIT_RI,      RDA_INIT_RC,      RDA_EMPTY,        RDA_TERM_RI,       RDA_TERM_RC,        RDA_BGNTRANS_RI,
    RDA_BGNTRANS_RC,  RDA_COMMIT_RI,    RDA_COMMIT_RC,    RDA_ROLLBACK_RI,   RDA_ROLLBACK_RC,    RDA_CANCEL_RI,
    RDA_CANCEL_RC,    RDA_STATUS_RI,    RDA_STATUS_RC,    RDA_OPEN_RI,       RDA_OPEN_RC,        RDA_CLOSE_RI,
    RDA_CLOSE_RC,     RDA_EXECDBL_RI,   RDA_EXECDBL_RC,   RDA_DEFINEDBL_RI,  RDA_DEFINEDBL_RC,   RDA_INVOKEDBL_RI,
    RDA_INVOKEDBL_RC, RDA_DROPDBL_RI,   RDA_DROPDBL_RC,   RDA_EMPTY_PRIVATE, RDA_ACTIVATE_REQ,
};

// The identifier of a message type (constructed, but for the two empty
// ones) and a definite length around `contents`.
std::vector<uint8_t> wrapped(uint32_t code, const uint8_t* contents, size_t size) {
  const uint8_t cls = static_cast<uint8_t>((code >> 7) & 0xC0);
  const uint8_t form = code == RDA_EMPTY || code == RDA_EMPTY_PRIVATE ? 0 : 0x20;
  const uint32_t tag = code & 0x1FFF;
  std::vector<uint8_t> out;
  if (tag < 31) {
    out.push_back(static_cast<uint8_t>(cls | form | tag));
  } else {
    out.push_back(static_cast<uint8_t>(cls | form | 0x1F));
    out.push_back(static_cast<uint8_t>(tag));  // below 128
  }
  if (size < 128) {
    out.push_back(static_cast<uint8_t>(size));
  } else {
    uint8_t len[sizeof(size_t)];
    int n = 0;
    for (size_t v = size; v != 0; v >>= 8) len[n++] = static_cast<uint8_t>(v);
    out.push_back(static_cast<uint8_t>(0x80 | n));
    while (n > 0) out.push_back(len[--n]);
  }
  out.insert(out.end(), contents, contents + size);
  return out;
}

// A record of the decode tree for the types that read into their caller's.
template <class Rec>
Rec* fresh() {
  auto* r = static_cast<Rec*>(aamalloc(sizeof(Rec)));
  if (r == nullptr) aaRaise(AAE_NOMEM, "fuzz", __LINE__);
  std::memset(r, 0, sizeof(Rec));
  return r;
}

// A DBL exception is the contents of an element its holder opened: [0] here.
template <class Rec>
void* excpIn(Rec* (*parse)()) {
  return ber_getid(0x80, 0) < 0 ? nullptr : parse();
}

void* decodeOne(void*) {
  switch (gDecoder) {
    case kIsoIdu:
      return aRDAIdu(nullptr);
    case kXopenIdu:
      return aRDAXOPENIdu(nullptr);
    case kRtse:
      return aRTS_apdus();
    case kAeId:
      return aUL_AEId();
    case kIsoValue:
      return aRDASQLVal();
    case kXopenValue:
      return aRDAXOPENSQLVal();
    case kIsoDescr:
      return aRDASQLDataTypeDescr();
    case kXopenDescr:
      return aRDAXOPENSQLDataTypeDescr();
    case kIsoRow: {
      auto* row = fresh<RDAResultVals>();
      return aRDAResultVals(row) != 0 ? row : nullptr;
    }
    case kXopenRow: {
      auto* row = fresh<RDAXOPENResultVals>();
      return aRDAXOPENResultVals(row) != 0 ? row : nullptr;
    }
    case kIsoExcp:
      return excpIn(aRDASQLDBLExcp);
    default:
      return excpIn(aRDAXOPENSQLDBLExcp);
  }
}

int64_t encodeOne(void* record) {
  switch (gDecoder) {
    case kIsoIdu:
      return fRDAIdu(record);
    case kXopenIdu:
      return fRDAXOPENIdu(record);
    case kRtse:
      return fRTS_apdus(static_cast<RTS_apdus*>(record));
    case kAeId:
      return fUL_AEId(static_cast<UL_AEId*>(record));
    case kIsoValue:
      return fRDASQLVal(static_cast<RDASQLVal*>(record));
    case kXopenValue:
      return fRDAXOPENSQLVal(static_cast<RDAXOPENSQLVal*>(record));
    case kIsoDescr:
      return fRDASQLDataTypeDescr(static_cast<RDASQLDataTypeDescr*>(record));
    case kXopenDescr:
      return fRDAXOPENSQLDataTypeDescr(static_cast<RDAXOPENSQLDataTypeDescr*>(record));
    case kIsoRow:
      return fRDAResultVals(static_cast<RDAResultVals*>(record));
    case kXopenRow:
      return fRDAXOPENResultVals(static_cast<RDAXOPENResultVals*>(record));
    case kIsoExcp:
      return ber_addid(0x80, 0, fRDASQLDBLExcp(static_cast<RDASQLDBLExcp*>(record)));
    default:
      return ber_addid(0x80, 0, fRDAXOPENSQLDBLExcp(static_cast<RDAXOPENSQLDBLExcp*>(record)));
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
  if (size < 4) return 0;
  const size_t piece = 1 + data[0] % 64;
  const uint8_t flags = data[1];
  gDecoder = static_cast<Decoder>(data[2] % kDecoders);
  const uint32_t type = kMessageTypes[data[3] % std::size(kMessageTypes)];
  data += 4;
  size -= 4;
  aaextensibility = flags & 1;
  std::vector<uint8_t> message;
  if ((flags & 4) != 0 && (gDecoder == kIsoIdu || gDecoder == kXopenIdu)) {
    message = wrapped(type, data, size);
    data = message.data();
    size = message.size();
  }

  SessionBuffer* chain = chainOf(data, size, piece, (flags & 2) != 0);
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
