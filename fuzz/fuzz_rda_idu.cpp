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

#include "src/asn1/rda_idu.h"
#include "src/asn1/rda_sql.h"
#include "src/asn1/rtse.h"
#include "src/asn1/ul_codec.h"
#include "fuzz/fuzz_support.h"

namespace {

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

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzStartRecordSet();
  if (init_buffers(20, 64) == 0) std::abort();
  fuzzIntegerContext();
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

  fuzzWriteReadWrite(data, size, piece, (flags & 2) != 0, decodeOne, encodeOne);
  aaextensibility = 0;
  return 0;
}
