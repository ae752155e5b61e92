// A presentation connection with its user and syntax tables, set up the way
// the presentation layer leaves them for a pass, for the tests of the
// context entry points and of EXTERNAL.
//
// Transfer syntaxes: 0 basic encoding {2 1 1} (single ASN.1 type), 1 "A"
// {1 2 3} and 2 "B" {1 2 4} (both octet-aligned), 3 "C" {1 2 5}
// (arbitrary). Abstract syntaxes: kAsInt (an INTEGER element; every
// transfer syntax), kAsRaw (the value's octets as they are; every transfer
// syntax), kAsPre (pre-encoded: no routines; BER only), kAsBerOnly (an
// INTEGER element; BER only).
#pragma once

#include <cstring>

#include "asn1/codec_fixture.h"
#include "src/presentation/pmachine.h"

inline constexpr int32_t kTsBer = 0, kTsA = 1, kTsB = 2, kTsC = 3;
inline constexpr int32_t kAsInt = 0, kAsRaw = 1, kAsPre = 2, kAsBerOnly = 3;

// The INTEGER abstract syntax: an int32_t in a UNIVERSAL 2 element.
inline void* prsInt(void*) {
  if (ber_getid(0, 2) < 0) aaRaise(AAE_MSGPARAM, "test", __LINE__);
  auto* v = static_cast<int32_t*>(aamalloc(sizeof(int32_t)));
  if (v == nullptr) aaRaise(AAE_NOMEM, "test", __LINE__);
  ber_getint(v);
  return v;
}
inline int64_t fmtInt(void* v) { return ber_addid(0, 2, ber_addint(*static_cast<int32_t*>(v))); }

// The raw abstract syntax: an OctStgV whose octets are the encoding; the
// parse takes the rest of the current level.
inline void* prsRaw(void*) {
  auto* v = static_cast<OctStgV*>(aamalloc(sizeof(OctStgV)));
  const int64_t n = eopenv[lev].remaining;
  if (v == nullptr || n < 0) aaRaise(AAE_NOMEM, "test", __LINE__);
  v->length = static_cast<uint32_t>(n);
  v->octets = static_cast<uint8_t*>(aamalloc(static_cast<uint64_t>(n) + 1));
  aa_copy(nullptr, v->octets, static_cast<uint64_t>(n));
  return v;
}
inline int64_t fmtRaw(void* v) {
  auto* o = static_cast<OctStgV*>(v);
  aa_copy(o->octets, nullptr, o->length);
  cons = 0;
  return o->length;
}

class ContextTest : public CodecTest {
 protected:
  void SetUp() override {
    CodecTest::SetUp();
    std::memcpy(savedTst_, tst, sizeof tst);
    savedNtst_ = ntst;
    savedBer_ = ps_asn1_tsidx;
    savedPm_ = pP;
    savedMult_ = directMult;
    savedPdv_ = pdvFmtPrs;

    setTs(kTsBer, {2, 1, 1}, kEncSingleAsn1);
    setTs(kTsA, {1, 2, 3}, kEncOctetAligned);
    setTs(kTsB, {1, 2, 4}, kEncOctetAligned);
    setTs(kTsC, {1, 2, 5}, kEncArbitrary);
    ntst = 4;
    ps_asn1_tsidx = kTsBer;
    directMult = 0;
    pdvFmtPrs = 0;

    user_ = PsUser{};
    clear_ast(&user_);
    setAs(kAsInt, fmtInt, prsInt, {kTsBer, kTsA, kTsB, kTsC});
    setAs(kAsRaw, fmtRaw, prsRaw, {kTsBer, kTsA, kTsB, kTsC});
    setAs(kAsPre, nullptr, nullptr, {kTsBer});
    setAs(kAsBerOnly, fmtInt, prsInt, {kTsBer});
    table_.count = 4;

    clear_ppm(&pm_);
    pm_.user = &user_;
    set_Pcalled(&pm_);
  }
  void TearDown() override {
    std::memcpy(tst, savedTst_, sizeof tst);
    ntst = savedNtst_;
    ps_asn1_tsidx = savedBer_;
    pP = savedPm_;
    directMult = savedMult_;
    pdvFmtPrs = savedPdv_;
    aafreeall(aagetlist());
    CodecTest::TearDown();
  }

  static void setTs(int32_t i, std::initializer_list<uint32_t> arcs, uint32_t encoding) {
    tst[i].id.count = static_cast<uint32_t>(arcs.size());
    std::copy(arcs.begin(), arcs.end(), tst[i].id.arcs);
    tst[i].encoding = encoding;
  }
  void setAs(int32_t i, AaFormatFn f, AaParseFn p, std::initializer_list<int32_t> ts) {
    AbsSyntax& a = table_.entries[i];
    a.id = ObjId{3, {1, 9, static_cast<uint32_t>(i)}};
    a.format = f;
    a.parse = p;
    for (int32_t t : ts) {
      a.tsSlots[t] = t;
      ++a.tsCount;
    }
  }
  // Context slot `index` with identifier ctxId, accepted in transfer syntax
  // tsIdx (-1: not settled, nothing proposed).
  PcdtEntry& define(int32_t index, int32_t ctxId, int32_t asIdx, int32_t tsIdx) {
    PcdtEntry& e = pm_.pcdt[index];
    clear_pcdt_entry(&e);
    e.ctxId = ctxId;
    e.asIdx = asIdx;
    e.tsIdx = tsIdx;
    if (tsIdx != -1) {
      e.tsSlots[tsIdx] = tsIdx;
      e.tsCount = 1;
    }
    pm_.idMap[index] = ctxId;
    ++pm_.definedCount;
    return e;
  }

  PsUser user_{};
  AbsSyntaxTable& table_ = user_.asTable;
  Pmachine pm_{};

 private:
  TsEntry savedTst_[kPsMaxTsyn]{};
  uint32_t savedNtst_ = 0;
  int32_t savedBer_ = -1;
  Pmachine* savedPm_ = nullptr;
  uint32_t savedMult_ = 0;
  uint32_t savedPdv_ = 0;
};
