// EXTERNAL elements parsed for a presentation connection, and values read
// whole written again and read back.
//
// Input: octet 0 picks the size of the buffers the chain is cut into (1-64),
// octet 1 holds switches (bit 0 extensibility, bit 1 the variable form, bit 2
// an empty buffer between the pieces, bit 3 one group per candidate transfer
// syntax when writing again in the fixed form); the rest is the encoding. A value of the raw
// abstract syntax (its octets as they are) that was read is written in the
// same context and must read back the same, its [1] and [2] segments joined
// and re-segmented in place.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "src/asn1/ber.h"
#include "fuzz/fuzz_support.h"
#include "src/presentation/pmachine.h"

namespace {

constexpr int32_t kTsBer = 0, kTsA = 1, kTsB = 2, kTsC = 3;
constexpr int32_t kAsInt = 0, kAsRaw = 1, kAsPre = 2;

void* prsInt(void*) {
  if (ber_getid(0, 2) < 0) aaRaise(AAE_MSGPARAM, "fuzz", __LINE__);
  auto* v = static_cast<int32_t*>(aamalloc(sizeof(int32_t)));
  if (v == nullptr) aaRaise(AAE_NOMEM, "fuzz", __LINE__);
  ber_getint(v);
  return v;
}
int64_t fmtInt(void* v) { return ber_addid(0, 2, ber_addint(*static_cast<int32_t*>(v))); }

// The rest of the current level, as it is.
void* prsRaw(void*) {
  const int64_t n = eopenv[lev].remaining;
  if (n < 0 || getLengthOfData(aapdu, currentBuffer) != n) aaRaise(AAE_LENERR, "fuzz", __LINE__);
  auto* v = static_cast<OctStgV*>(aamalloc(sizeof(OctStgV)));
  auto* octets = static_cast<uint8_t*>(aamalloc(static_cast<uint64_t>(n) + 1));
  if (v == nullptr || octets == nullptr) aaRaise(AAE_NOMEM, "fuzz", __LINE__);
  aa_copy(nullptr, octets, static_cast<uint64_t>(n));
  v->length = static_cast<uint32_t>(n);
  v->octets = octets;
  return v;
}
int64_t fmtRaw(void* v) {
  auto* o = static_cast<OctStgV*>(v);
  aa_copy(o->octets, nullptr, o->length);
  cons = 0;
  return o->length;
}

PsUser gUser;
AbsSyntaxTable& gTable = gUser.asTable;
Pmachine gPm;

void setTs(int32_t i, std::initializer_list<uint32_t> arcs, uint32_t encoding) {
  tst[i].id.count = static_cast<uint32_t>(arcs.size());
  uint32_t k = 0;
  for (uint32_t a : arcs) tst[i].id.arcs[k++] = a;
  tst[i].encoding = encoding;
}

void setAs(int32_t i, AaFormatFn f, AaParseFn p) {
  AbsSyntax& a = gTable.entries[i];
  a.id = ObjId{3, {1, 9, static_cast<uint32_t>(i)}};
  a.format = f;
  a.parse = p;
  for (int32_t t = 0; t < kPsMaxTsyn; ++t) a.tsSlots[t] = t;
  a.tsCount = kPsMaxTsyn;
}

void define(int32_t index, int32_t ctxId, int32_t asIdx, int32_t tsIdx) {
  PcdtEntry& e = gPm.pcdt[index];
  clear_pcdt_entry(&e);
  e.ctxId = ctxId;
  e.asIdx = asIdx;
  e.tsIdx = tsIdx;
  e.tsSlots[tsIdx] = tsIdx;
  e.tsCount = 1;
  gPm.idMap[index] = ctxId;
  ++gPm.definedCount;
}

void setUpConnection() {
  setTs(kTsBer, {2, 1, 1}, kEncSingleAsn1);
  setTs(kTsA, {1, 2, 3}, kEncOctetAligned);
  setTs(kTsB, {1, 2, 4}, kEncOctetAligned);
  setTs(kTsC, {1, 2, 5}, kEncArbitrary);
  ntst = 4;
  ps_asn1_tsidx = kTsBer;
  clear_ast(&gUser);
  setAs(kAsInt, fmtInt, prsInt);
  setAs(kAsRaw, fmtRaw, prsRaw);
  setAs(kAsPre, nullptr, nullptr);
  gTable.count = 3;
  clear_ppm(&gPm);
  gPm.user = &gUser;
  gPm.dfltAsIdx = kAsInt;
  gPm.dfltTsIdx = kTsBer;
  define(1, 1, kAsRaw, kTsA);
  define(2, 2, kAsRaw, kTsC);
  define(3, 7, kAsInt, kTsBer);
  define(4, 4, kAsPre, kTsBer);
  define(5, 5, kAsRaw, kTsB);
  gPm.pcdt[5].tsSlots[kTsA] = kTsA;
  gPm.pcdt[5].tsCount = 2;
  set_Pcalled(&gPm);
}

bool gVariable = false;
ExternalValue gExt;
ExternalValueV gExtV;

void* parseExternal(void* arg) {
  if (ber_gettype() != 8) return arg;
  if (gVariable) ber_getextv(&gExtV);
  else ber_getext(&gExt);
  return arg;
}

int64_t writeExternal(void*) {
  int64_t n = gVariable ? ber_addextv(&gExtV) : ber_addext(&gExt);
  return ber_addid(32, 8, n);
}

// The raw octets of a value read in a context of the raw abstract syntax.
bool rawValue(std::vector<uint8_t>* out) {
  const int32_t ctx = gVariable ? gExtV.context : gExt.context;
  void* value = gVariable ? gExtV.value : gExt.value;
  if (value == nullptr || (ctx != 1 && ctx != 2 && ctx != 5)) return false;
  const auto* o = static_cast<const OctStgV*>(value);
  out->assign(o->octets, o->octets + o->length);
  return true;
}

// Parses the chain; the raw value read, if any.
bool parseOnce(SessionBuffer* chain, std::vector<uint8_t>* raw) {
  gExt = ExternalValue{};
  gExtV = ExternalValueV{};
  int32_t err = 0;
  rtp_setp(chain);
  const bool whole = p_parse(parseExternal, &err, &err) != nullptr;
  if (whole != (err == 0)) __builtin_trap();
  return whole && rawValue(raw);
}

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
  aaextensibility = flags & 1;
  gVariable = (flags & 2) != 0;
  directMult = 0;
  pdvFmtPrs = 0;

  SessionBuffer* chain = chainOf(data, size, piece, (flags & 4) != 0);
  std::vector<uint8_t> raw;
  const bool haveRaw = parseOnce(chain, &raw);
  if (haveRaw) {
    // Written again in the context it was read in, and read back.
    if (gVariable) {
      gExtV.encoding = 0;
      gExtV.directRef.count = (flags & 8) != 0 ? 0 : kObjIdAbsent;
      gExtV.descriptor = nullptr;
    } else {
      gExt.encoding = 0;
      gExt.directRef.count = (flags & 8) != 0 ? 0 : kObjIdAbsent;
      gExt.descriptor[0] = '\0';
    }
    // The variable form's reader refuses groups behind the one it takes, so
    // a value read in that form is written back as one group.
    directMult = (flags & 8) != 0 && !gVariable ? 0xFFFFFFFFu : 0;
    OctStgV copy{static_cast<uint32_t>(raw.size()), raw.data()};
    if (gVariable) gExtV.value = &copy;
    else gExt.value = &copy;
    rtp_setf(balloc(-1));
    uint32_t ferr = 0;
    p_format(writeExternal, nullptr, &ferr);
    SessionBuffer* out = nullptr;
    rtp_getf(&out);
    if (ferr != 0) __builtin_trap();
    directMult = 0;
    std::vector<uint8_t> again;
    if (!parseOnce(out, &again) || again != raw) __builtin_trap();
    freeChain(out);
  }
  freeChain(chain);
  aafreeall(aagetlist());
  rtp_setp(nullptr);
  if (QvGetSbCount() != 0) __builtin_trap();  // every buffer went back
  aaextensibility = 0;
  return 0;
}
