// Fixture of the PPDU and PDV codec tests: the presentation layer started
// with a buffer pool, the user "RDA" with two abstract syntaxes whose values
// are INTEGERs, a connection machine in pP, and passes over octets written
// as hex.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "presentation/pfixture.h"
#include "src/asn1/ber.h"
#include "src/asn1/preencoded.h"
#include "src/presentation/pdv.h"
#include "src/presentation/ppdu.h"
#include "src/session/buffer_pool.h"

using Bytes = std::vector<uint8_t>;

// "02 01 FF" -> {0x02, 0x01, 0xFF}.
inline Bytes hex(const std::string& s) {
  Bytes out;
  for (size_t i = 0; i < s.size();) {
    if (s[i] == ' ') {
      ++i;
      continue;
    }
    out.push_back(static_cast<uint8_t>(std::strtoul(s.substr(i, 2).c_str(), nullptr, 16)));
    i += 2;
  }
  return out;
}

inline std::string hexOf(const Bytes& b) {
  std::string s;
  char two[4];
  for (size_t i = 0; i < b.size(); ++i) {
    std::snprintf(two, sizeof two, "%s%02X", i == 0 ? "" : " ", b[i]);
    s += two;
  }
  return s;
}

inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline Bytes slice(const Bytes& b, size_t from, size_t n) {
  return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(from + n));
}

// Values of the test abstract syntaxes: an INTEGER of 0 to 100. Larger ones
// are refused with DTVALID; -999 refuses to be written (FMTERR).
inline void* parseSmallInt(void*) {
  if (ber_getid(0, 2) < 0) aaRaise(AAE_MSGPARAM, "test", __LINE__);
  auto* v = static_cast<int32_t*>(aamalloc(sizeof(int32_t)));
  if (v == nullptr) aaRaise(AAE_NOMEM, "test", __LINE__);
  ber_getint(v);
  if (*v < 0 || *v > 100) aaRaise(AAE_DTVALID, "test", __LINE__);
  return v;
}
inline int64_t formatSmallInt(void* v) {
  const int32_t n = *static_cast<int32_t*>(v);
  if (n == -999) aaRaise(AAE_FMTERR, "test", __LINE__);
  return ber_addid(0, 2, ber_addint(n));
}

class PpduTest : public PresentationTest {
 protected:
  void SetUp() override {
    PresentationTest::SetUp();
    ASSERT_EQ(init_buffers(kSbDefaultCount, kSbDefaultSize), 1);
    aaextensibility = 0;
    pdvFmtPrs = 0;
    directMult = 0;
    PS_pre_encoded_test = 0;
    rtp_testForPreEncoded = 0;
    user_ = activate("RDA", 5);
    acse_ = intSyntax(1);
    rda_ = intSyntax(2);
    pm_ = pm_alloc(nullptr, nullptr, user_, 0);
    ASSERT_NE(pm_, nullptr);
    set_Pcalled(pm_);
    QvSetOsiError(0);
  }
  void TearDown() override {
    rtp_setp(nullptr);
    for (SessionBuffer* c : chains_) freeChain(c);
    chains_.clear();
    aafreeall(aagetlist());
    PS_pre_encoded_test = 0;
    rtp_testForPreEncoded = 0;
    directMult = 0;
    close_buffers();
    PresentationTest::TearDown();
  }

  // Abstract syntax {1 9 n} of "RDA" with INTEGER values, associated with BER.
  static int32_t intSyntax(uint32_t n) {
    const OctStgV v = sel("RDA");
    const uint32_t arcs[] = {1, 9, n};
    const int32_t a = p_asynreg(&v, 3, arcs, parseSmallInt, formatSmallInt, 0);
    EXPECT_GE(a, 0) << QvGetOsiError();
    EXPECT_EQ(p_assoc(&v, a, ps_asn1_tsidx), 1) << QvGetOsiError();
    return a;
  }

  // The initiator's contexts 1 (ACSE) and 3 (RDA), not settled yet.
  void initiator() {
    int32_t defs[kPsMaxContexts];
    for (int32_t& d : defs) d = -1;
    defs[1] = acse_;
    defs[3] = rda_;
    ASSERT_EQ(store_pcdl_pcdt(defs, pm_), 1) << QvGetOsiError();
  }
  // Slot `slot` holds the peer's identifier `id`: accepted in BER for an
  // abstract syntax, or rejected with `result`.
  void define(int32_t slot, int32_t id, int32_t asIdx, uint32_t result = kPcdtAccepted) {
    PcdtEntry& e = pm_->pcdt[slot];
    clear_pcdt_entry(&e);
    pm_->idMap[slot] = id;
    e.result = result;
    if (result == kPcdtAccepted) {
      e.ctxId = id;
      e.asIdx = asIdx;
      e.tsIdx = ps_asn1_tsidx;
      e.tsSlots[ps_asn1_tsidx] = ps_asn1_tsidx;
      e.tsCount = 1;
    }
    ++pm_->definedCount;
  }

  // The octets a format pass writes; its code in lastFormatError_.
  Bytes encode(AaFormatFn fn, void* record) {
    rtp_setf(balloc(-1));
    lastFormatError_ = 0;
    p_format(fn, record, &lastFormatError_);
    SessionBuffer* out = nullptr;
    rtp_getf(&out);
    Bytes b = lastFormatError_ == 0 ? bytesOf(out) : Bytes{};
    freeChain(out);
    return b;
  }
  std::string encodeHex(AaFormatFn fn, void* record) { return hexOf(encode(fn, record)); }
  Bytes encodeWith(std::function<int64_t()> body) {
    static std::function<int64_t()> current;
    current = std::move(body);
    return encode([](void*) { return current(); }, nullptr);
  }

  // Parses `bytes` (cut into buffers of `piece` octets, 0: one buffer) with
  // a pass entry; the pass's code. The chain lives to the end of the test.
  int32_t decode(const Bytes& bytes, AaParseFn fn, void* record, size_t piece = 0) {
    SessionBuffer* chain = chainOf(bytes, piece);
    chains_.push_back(chain);
    rtp_setp(chain);
    int32_t err = -1;
    p_parse(fn, record, &err);
    return err;
  }
  int32_t decodeWith(const Bytes& bytes, std::function<void()> body) {
    static std::function<void()> current;
    current = std::move(body);
    static int token = 0;
    return decode(
        bytes,
        [](void* arg) -> void* {
          current();
          return arg;
        },
        &token);
  }

  static SessionBuffer* chainOf(const Bytes& bytes, size_t piece) {
    if (piece == 0) piece = bytes.size() > 0 ? bytes.size() : 1;
    SessionBuffer* head = nullptr;
    size_t at = 0;
    do {
      const size_t n = bytes.size() - at < piece ? bytes.size() - at : piece;
      SessionBuffer* b = balloc(static_cast<int32_t>(n));
      if (b == nullptr) return head;
      if (n > 0) std::memcpy(b->data, bytes.data() + at, n);
      if (head == nullptr) {
        head = b;
      } else {
        b->prev = head->prev;
        b->next = head;
        head->prev->next = b;
        head->prev = b;
      }
      at += n;
    } while (at < bytes.size());
    return head;
  }
  static Bytes bytesOf(const SessionBuffer* chain) {
    Bytes out;
    if (chain == nullptr) return out;
    const SessionBuffer* b = chain;
    do {
      out.insert(out.end(), b->data, b->data + b->length);
      b = b->next;
    } while (b != chain);
    return out;
  }
  static void freeChain(SessionBuffer* chain) {
    while (chain != nullptr) {
      SessionBuffer* next = chain->next != chain ? chain->next : nullptr;
      bfree(chain);
      chain = next;
    }
  }

  // A PDV-list of context `slot` holding one value, in the decode tree.
  static PdvType* single(uint32_t slot, int32_t* v) {
    PdvType* p = newPdvType(nullptr, nullptr);
    p->context = slot;
    p->encoding = kEncSingleAsn1;
    p->value = v;
    return p;
  }
  // Appends a PDV-list to a fully encoded User-data record.
  static void append(User_data* d, PdvType* p) {
    auto* node = static_cast<PdvNode*>(aamalloc(sizeof(PdvNode)));
    node->pdv = p;
    if (d->full.list.links.next == nullptr) pdvListInit(&d->full);
    pdvListAppend(&d->full, node);
    d->kind = kUserDataFull;
  }

  // The PDV-lists of a fully encoded User-data record, in order.
  static std::vector<PdvType*> pdvs(const User_data& d) {
    std::vector<PdvType*> out;
    const UL_Link* head = &d.full.list.links;
    for (const UL_Link* p = head->next; p != nullptr && p != head; p = p->next)
      out.push_back(reinterpret_cast<const PdvNode*>(p)->pdv);
    return out;
  }
  static int32_t intOf(const void* value) { return value != nullptr ? *static_cast<const int32_t*>(value) : -1; }

  PsUser* user_ = nullptr;
  int32_t acse_ = -1, rda_ = -1;
  Pmachine* pm_ = nullptr;
  uint32_t lastFormatError_ = 0;
  std::vector<SessionBuffer*> chains_;
};
