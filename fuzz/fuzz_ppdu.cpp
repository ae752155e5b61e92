// Presentation PPDUs decoded from arbitrary octets for a presentation
// connection whose context hooks run as the connection PPDUs are read; a
// PPDU that was read is written again, and what was written must read back
// (on a connection set up the same way) and write again to the same octets.
//
// Input: octet 0 picks the size of the buffers the chain is cut into (1-64);
// octet 1 picks the decoder (its low four bits, kDecoders) and holds
// switches: bit 4 extensibility, bit 5 an empty buffer between the pieces,
// bit 6 a catch-all user, bit 7 the pre-encoded test of a first segment;
// the rest is the encoding.
//
// The connection: the user "RDA" has abstract syntax {1 9 1} (INTEGER
// values), {1 9 2} (INTEGER values) and {1 9 3} (pre-encoded values). A CP
// is read by a called side that has no user yet; a CPA or CPR by a caller
// that proposed contexts 1, 3 and 5 for them; everything else on a
// connection where those contexts are accepted in BER and {1 9 1} is the
// default context.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/timer2.h"
#include "fuzz/fuzz_support.h"
#include "src/asn1/ber.h"
#include "src/asn1/preencoded.h"
#include "src/presentation/pdv.h"
#include "src/presentation/pmachine.h"
#include "src/presentation/ppdu.h"
#include "src/presentation/users.h"

namespace {

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

enum Decoder : uint8_t { kCp, kCpa, kCpr, kAbort, kRs, kRsa, kTyped, kUserData, kSimple, kCpc, kDecoders };

struct Entry {
  AaParseFn parse;
  AaFormatFn format;
  void* record;
};

void* parseCpc(void* r) { return aCPC_type(static_cast<User_data*>(r)) != 0 ? r : nullptr; }
int64_t formatTyped(void* r) { return fTyped_data_type(static_cast<Typed_data_type*>(r)); }

const Entry kEntries[kDecoders] = {
    {psParseCP, psFormatCP, &cp},          {psParseCPA, psFormatCPA, &cpa},
    {psParseCPR, psFormatCPR, &cpr},       {psParseAbort, psFormatAbort, &abrt},
    {psParseRS, psFormatRS, &rs},          {psParseRSA, psFormatRSA, &rsa},
    {psParseTyped, formatTyped, &ttd},     {psParseUserData, psFormatUserData, &inf},
    {psParseSimple, psFormatSimple, &inf}, {parseCpc, psFormatUserData, &inf},
};

PsUser* gUser = nullptr;
int32_t gAs[3] = {-1, -1, -1};
Pmachine gPm;
uint8_t gLocalSel[kPselMaxLen];

// The connection as the decoder meets it; the hooks change it as they run.
void setUpConnection(Decoder d, bool catchAll) {
  clear_ppm(&gPm);
  gPm.localPsel.octets = gLocalSel;
  P_setCatchAllPUser(catchAll ? gUser : nullptr);
  set_Pcalled(&gPm);
  if (d == kCp) return;
  gPm.user = gUser;
  int32_t defs[kPsMaxContexts];
  for (int32_t& v : defs) v = -1;
  defs[1] = gAs[0];
  defs[3] = gAs[1];
  defs[5] = gAs[2];
  if (store_pcdl_pcdt(defs, &gPm) == 0) std::abort();
  if (d == kCpa || d == kCpr) return;
  for (int32_t slot : {1, 3, 5}) gPm.pcdt[slot].tsIdx = ps_asn1_tsidx;
  gPm.dfltAsIdx = gAs[0];
  gPm.dfltTsIdx = ps_asn1_tsidx;
}

void clearRecords() {
  cp = CP_type{};
  cpa = CPA_PPDU{};
  cpr = CPR_PPDU{};
  abrt = Abort_type{};
  rs = RS_PPDU{};
  rsa = RSA_PPDU{};
  ttd = Typed_data_type{};
  inf = User_data{};
}

// Reads the chain; whether a PPDU was read.
bool readOnce(const Entry& e, SessionBuffer* chain) {
  clearRecords();
  pdvFmtPrs = 0;
  int32_t err = 0;
  rtp_setp(chain);
  const bool read = p_parse(e.parse, e.record, &err) != nullptr;
  if (read != (err == 0)) __builtin_trap();
  return read;
}

// Writes the record as a sender would: nothing when the pass or one of its
// values failed.
bool writeOnce(const Entry& e, std::vector<uint8_t>* out) {
  QvSetOsiError(0);
  directMult = 0;
  rtp_setf(balloc(-1));
  uint32_t err = 0;
  p_format(e.format, e.record, &err);
  SessionBuffer* chain = nullptr;
  rtp_getf(&chain);
  const bool ok = err == 0 && QvGetOsiError() == 0 && chain != nullptr;
  out->clear();
  if (ok) {
    const SessionBuffer* b = chain;
    do {
      out->insert(out->end(), b->data, b->data + b->length);
      b = b->next;
    } while (b != chain);
  }
  freeChain(chain);
  return ok;
}

void release() {
  aafreeall(aagetlist());
  rtp_setp(nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzStartRecordSet();
  if (init_buffers(20, 64) == 0) std::abort();
  if (init_presentation(nullptr, nullptr, nullptr, nullptr) == 0) std::abort();
  static uint8_t rda[] = {'R', 'D', 'A'};
  const OctStgV sel{3, rda};
  if (p_activate(&sel, [](GIDU*) { return 1; }, kPsModeNormal, 5) == 0) std::abort();
  gUser = find_ps_user(&sel);
  for (uint32_t i = 0; i < 3; ++i) {
    const uint32_t arcs[] = {1, 9, i + 1};
    const bool pre = i == 2;
    gAs[i] = p_asynreg(&sel, 3, arcs, pre ? nullptr : prsInt, pre ? nullptr : fmtInt, pre ? 1 : 0);
    if (gAs[i] < 0 || p_assoc(&sel, gAs[i], ps_asn1_tsidx) == 0) std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t piece = 1 + data[0] % 64;
  const uint8_t flags = data[1];
  const auto decoder = static_cast<Decoder>((flags & 0x0F) % kDecoders);
  const bool catchAll = (flags & 0x40) != 0;
  const bool preEncodedTest = (flags & 0x80) != 0;
  data += 2;
  size -= 2;
  const Entry& e = kEntries[decoder];
  aaextensibility = (flags & 0x10) != 0 ? 1 : 0;
  PS_pre_encoded_test = preEncodedTest ? 1 : 0;
  rtp_testForPreEncoded = PS_pre_encoded_test;

  setUpConnection(decoder, catchAll);
  SessionBuffer* chain = chainOf(data, size, piece, (flags & 0x20) != 0);
  const bool read = readOnce(e, chain);
  PS_pre_encoded_test = 0;
  rtp_testForPreEncoded = 0;
  // Pre-encoded values are buffers of the input; they are not written again.
  std::vector<uint8_t> first;
  if (read && !preEncodedTest && gPm.preEncRcv == 0 && writeOnce(e, &first)) {
    release();
    setUpConnection(decoder, catchAll);
    SessionBuffer* again = chainOf(first.data(), first.size(), piece, false);
    std::vector<uint8_t> second;
    if (!readOnce(e, again) || !writeOnce(e, &second) || second != first) __builtin_trap();
    release();
    freeChain(again);
  }
  release();
  freeChain(chain);
  if (QvGetSbCount() != 0) __builtin_trap();  // every buffer went back
  aaextensibility = 0;
  return 0;
}
