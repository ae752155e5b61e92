// Fixture of the RDA builder tests: a record set with a buffer pool, an XM
// tree for the builders, XM blocks counted, the lines the RDA and
// application-layer trace modules write, and helpers for the octets of RDA
// messages.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "asn1/codec_fixture.h"
#include "common/timer2.h"
#include "src/acse/al_trace.h"
#include "src/acse/gidu.h"
#include "src/asn1/rda_idu.h"
#include "src/asn1/ul_types.h"
#include "src/rda/rda_gidu.h"
#include "src/rda/rda_trace.h"
#include "src/runtime/tm.h"
#include "src/runtime/xm.h"
#include "support/counting_alloc.h"
#include "support/trace_capture.h"

// Context [n] constructed and primitive around contents; universal SEQUENCE.
inline Bytes cx(uint8_t n, const Bytes& contents) { return tlv(static_cast<uint8_t>(0xA0 | n), contents); }
inline Bytes px(uint8_t n, const Bytes& contents) { return tlv(static_cast<uint8_t>(0x80 | n), contents); }
inline Bytes seq(const Bytes& contents) { return tlv(0x30, contents); }

// A ring whose every link is consistent and whose walk ends at its head.
inline bool wellLinked(const UL_Ring& l) {
  uint32_t n = 0;
  const UL_Link* prev = &l.links;
  for (const UL_Link* p = l.links.next; p != &l.links; p = p->next) {
    if (p->prev != prev || ++n > l.count) return false;
    prev = p;
  }
  return l.links.prev == prev && n == l.count;
}

class RdaBuildTest : public CodecTest {
 protected:
  void SetUp() override {
    CodecTest::SetUp();
    xm_setDefaultAlloc(countingAlloc, countingFree);
    trace_.emplace(std::initializer_list<TraceCapture::Module>{{&rda_comTMHandle, "RDA : ", 0xFFFF},
                                                               {&al_comTMHandle, "AL  : ", 0xFFFF},
                                                               {&rda_aseTMHandle, "RASE: ", 0xFFFF},
                                                               {&rda_surTMHandle, "SUR : ", 0xFFFF}});
    tree_ = _xm_allocTree(nullptr);
    ASSERT_NE(tree_, nullptr);
  }
  void TearDown() override {
    allocBudget = -1;
    _xm_freeTree(tree_);
    aafreeall(aagetlist());
    trace_.reset();
    xm_setDefaultAlloc(XM_malloc, XM_free);
    CodecTest::TearDown();
  }

  TraceCapture& trace() { return *trace_; }
  bool traced(const std::string& text) const { return trace_->contains(text); }
  // Only the error lines are written from now on, so that the lines do not
  // take the allocations a test means to fail.
  static void quietEntries() {
    tm_setMask(rda_comTMHandle, 0x0F);
    tm_setMask(al_comTMHandle, 0x0F);
    tm_setMask(rda_aseTMHandle, 0x0F);
    tm_setMask(rda_surTMHandle, 0x0F);
  }

  // Runs `body` in a parse pass over `bytes`, nothing opened; the code.
  static int32_t run(const Bytes& bytes, const std::function<void()>& body) {
    SessionBuffer* chain = chainOf({bytes});
    const int32_t err = parse(chain, body);
    freeChain(chain);
    return err;
  }

  // The octets of the IDU a GIDU carries, from the top-level codec of a
  // family in a protected format pass; empty when the pass failed.
  static Bytes wireOf(const GIDU* g, AaFormatFn format = fRDAXOPENIdu) {
    rtp_setf(balloc(-1));
    uint32_t err = 0;
    p_format(format, g->idu, &err);
    SessionBuffer* out = nullptr;
    rtp_getf(&out);
    Bytes b = err == 0 ? bytesOf(out) : Bytes{};
    freeChain(out);
    return b;
  }
  // The message `wire` decodes to in a protected parse pass, NULL when it
  // does not.
  static RDAXOPENIdu* decoded(const Bytes& wire, AaParseFn parse = aRDAXOPENIdu) {
    SessionBuffer* chain = chainOf({wire});
    rtp_setp(chain);
    int32_t err = -1;
    auto* idu = static_cast<RDAXOPENIdu*>(p_parse(parse, nullptr, &err));
    freeChain(chain);
    return err == 0 ? idu : nullptr;
  }

  XmTree* tree_ = nullptr;  // XM blocks are counted in liveBlocks for the whole test

 private:
  std::optional<TraceCapture> trace_;
};

// With a connection's template GIDU whose four references are the fields
// ue_, uc_, pe_, pc_.
class RdaGiduTest : public RdaBuildTest {
 protected:
  void SetUp() override {
    RdaBuildTest::SetUp();
    tmpl_ = rda_createTemplateGidu(&ue_, &uc_, &pe_, &pc_);
    ASSERT_NE(tmpl_, nullptr);
  }
  void TearDown() override {
    al_deleteGidu(tmpl_);
    RdaBuildTest::TearDown();
  }

  int ue_ = 0, uc_ = 0, pe_ = 0, pc_ = 0;
  TemplateGidu* tmpl_ = nullptr;
};

// A GIDU for `code` as the service element holds it: one AeHDR (context 1)
// over an RDAIdu of the alternative of the code's service form (the APDU
// form of an R-Initialize response would otherwise get [2]), operation id
// 5, whose error record, when it has one, carries `errorValue`. References
// of `ref`. NULL when memory runs out.
inline GIDU* rdaElementGidu(const GIDU* ref, RdaEventCode code, uint32_t errorValue) {
  void* body = nullptr;
  GIDU* g = rda_createGiduWithRdaIdu(ref, code & ~AL_EV_APDU, 5, &body);
  if (g == nullptr) return nullptr;
  g->event = code;
  if (errorValue != 0 && body != nullptr && al_serviceOf(code) >= kRdaErrorFamily)
    static_cast<RDAErr*>(body)->code = errorValue;
  AeHDR* hdr = AL_createAeHDR(g);
  if (hdr == nullptr) {
    al_deleteGidu(g);
    return nullptr;
  }
  hdr->pctxId = 1;
  return g;
}

// While it lives, the n-th allocation of XM from now on (0: the next) fails
// once; the others succeed (so that the trace of the failure can still be
// written).
class FailingAlloc {
 public:
  explicit FailingAlloc(long n) { allocBudget = n; }
  ~FailingAlloc() { allocBudget = -1; }
  FailingAlloc(const FailingAlloc&) = delete;
  FailingAlloc& operator=(const FailingAlloc&) = delete;
};
