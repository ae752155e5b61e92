// Fixture of the RDA builder tests: a record set with a buffer pool, an XM
// tree for the builders, the lines the RDA and application-layer trace
// modules write, and helpers for the octets of RDA messages.
#pragma once

#include <string>
#include <vector>

#include "asn1/codec_fixture.h"
#include "common/timer2.h"
#include "src/acse/al_trace.h"
#include "src/rda/rda_trace.h"
#include "src/asn1/ul_types.h"
#include "src/runtime/tm.h"
#include "src/runtime/xm.h"
#include "support/counting_alloc.h"

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
    savedHeader_ = bConfigInfoTraced;
    bConfigInfoTraced = 1;
    ASSERT_EQ(tm_init(2), 1);
    rda_comTMHandle = tm_open("RDA : ", "rda");
    al_comTMHandle = tm_open("AL  : ", "al");
    tm_setMask(rda_comTMHandle, 0xFFFF);
    tm_setMask(al_comTMHandle, 0xFFFF);
    ASSERT_EQ(tm_register(1024, capture), 1);
    lines().clear();
    tree_ = _xm_allocTree(nullptr);
    ASSERT_NE(tree_, nullptr);
  }
  void TearDown() override {
    xm_setDefaultAlloc(XM_malloc, XM_free);
    _xm_freeTree(tree_);
    aafreeall(aagetlist());
    tm_shutdown();
    tmOutFunc = nullptr;
    rda_comTMHandle = -1;
    al_comTMHandle = -1;
    bConfigInfoTraced = savedHeader_;
    CodecTest::TearDown();
  }

  static std::vector<std::string>& lines() {
    static std::vector<std::string> l;
    return l;
  }
  static bool traced(const std::string& text) {
    for (const std::string& l : lines())
      if (l.find(text) != std::string::npos) return true;
    return false;
  }

  // Only the error lines are written from now on, so that the lines do not
  // take the allocations a test means to fail.
  static void quietEntries() {
    tm_setMask(rda_comTMHandle, 0x0F);
    tm_setMask(al_comTMHandle, 0x0F);
  }

  // Runs `body` in a parse pass over `bytes`, nothing opened; the code.
  static int32_t run(const Bytes& bytes, const std::function<void()>& body) {
    SessionBuffer* chain = chainOf({bytes});
    const int32_t err = parse(chain, body);
    freeChain(chain);
    return err;
  }

  XmTree* tree_ = nullptr;

 private:
  static void capture(uint32_t, const char* text) { lines().emplace_back(text); }
  int32_t savedHeader_ = 0;
};

// Counts the XM blocks alive (liveBlocks) from now until the test ends.
inline void setAllocCounting() { xm_setDefaultAlloc(countingAlloc, countingFree); }

// The n-th allocation of XM from now on (0: the next) fails, the others go
// to the allocator in place before (so that the trace of the failure can
// still be written).
class FailingAlloc {
 public:
  explicit FailingAlloc(int n) : savedAlloc_(XM_defaultAlloc), savedFree_(XM_defaultFree) {
    left() = n;
    inner() = savedAlloc_;
    xm_setDefaultAlloc(alloc, savedFree_);
  }
  ~FailingAlloc() { xm_setDefaultAlloc(savedAlloc_, savedFree_); }
  FailingAlloc(const FailingAlloc&) = delete;
  FailingAlloc& operator=(const FailingAlloc&) = delete;

 private:
  static int& left() {
    static int n = 0;
    return n;
  }
  static XmAllocFn& inner() {
    static XmAllocFn f = nullptr;
    return f;
  }
  static void* alloc(size_t n) {
    if (left()-- == 0) return nullptr;
    return inner()(n);
  }
  XmAllocFn savedAlloc_;
  XmFreeFn savedFree_;
};
