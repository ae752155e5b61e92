// The decode tree, the value helpers and the raw codec pairs.
#include <atomic>
#include <cstdlib>
#include <memory>

#include "asn1/ber_fixture.h"
#include "common/qvstring.h"
#include "support/counting_alloc.h"

namespace {


XmTree* slot() { return reinterpret_cast<XmTree*>(getXmTLS(0)->decodeTree); }

class DecodeTree : public BerTest {
 protected:
  void SetUp() override {
    BerTest::SetUp();
    close_buffers();
    xm_shutdown();
    xm_setDefaultAlloc(countingAlloc, countingFree);
    liveBlocks = 0;
    ASSERT_NE(xm_init(), nullptr);
    // A pool that keeps no released buffer, and no kept pages, so that every
    // block is counted.
    ASSERT_EQ(init_buffers(0, 256), 1);
    giXmKeptPagesMax = 0;
    base = liveBlocks;
  }
  void TearDown() override {
    getXmTLS(0)->decodeTree = nullptr;
    close_buffers();
    xm_shutdown();
    EXPECT_EQ(liveBlocks.load(), 0);
    giXmKeptPagesMax = 64;
    xm_setDefaultAlloc(XM_malloc, XM_free);
    BerTest::TearDown();
  }
  long base = 0;
};

TEST_F(DecodeTree, ParsesShareOneTreeUntilItIsHandedOver) {
  SessionBuffer* chain = chainOf({{0x05, 0x00}});
  void* first = nullptr;
  void* second = nullptr;
  EXPECT_EQ(parse(chain, [&] { first = aamalloc(16); }), 0);
  EXPECT_EQ(parse(chain, [&] { second = aamalloc(0x10000); }), 0);
  XmTree* tree = aagetlist();
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(xm_getParentOfItem(first), tree);
  EXPECT_EQ(xm_getParentOfItem(second), tree);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(static_cast<uint8_t*>(first)[i], 0) << "zero-filled";
  EXPECT_EQ(slot(), nullptr);
  void* third = aamalloc(4);
  EXPECT_NE(xm_getParentOfItem(third), tree) << "the next parse starts a new tree";
  aafreeall(tree);
  aafreeall(third);
  freeChain(chain);
  EXPECT_EQ(liveBlocks, base);
}

TEST_F(DecodeTree, FreeingAnyItemReleasesTheWholeTreeWithItsSubLists) {
  void* top = aamalloc(8);
  XmTree* sub = aaStartSubList();
  void* inSub = aamalloc(8);
  EXPECT_EQ(xm_getParentOfItem(inSub), sub);
  XmTree* nested = aaStartSubList();
  aamallocFromPage(24);
  EXPECT_EQ(aaEndSubList(), nested);
  EXPECT_EQ(aaEndSubList(), sub);
  EXPECT_EQ(aaEndSubList(), nullptr) << "no sub-list open: the decode tree stays current";
  EXPECT_EQ(xm_getParentOfItem(aamalloc(8)), xm_getParentOfItem(top));
  aafreeall(inSub);
  EXPECT_EQ(liveBlocks, base) << "everything the decode allocated is gone";
  EXPECT_EQ(slot(), nullptr) << "the slot no longer names the released tree";
  aafreeall(nullptr);
  aafreeall(static_cast<void*>(nullptr));
  aafreeall(static_cast<XmTree*>(nullptr));
  aafreeall(getXmTLS(0)->rootTree);
  EXPECT_NE(getXmTLS(0)->rootTree, nullptr) << "the root tree is never a decode tree";
  aafreeall(aamalloc(8));
  EXPECT_EQ(liveBlocks, base);
}

TEST_F(DecodeTree, ThePagesOfAReleasedDecodeTreeServeTheNextOne) {
  giXmKeptPagesMax = 4;
  auto* page = static_cast<uint8_t*>(aamallocFromPage(24));
  aaStartSubList();
  auto* subPage = static_cast<uint8_t*>(aamallocFromPage(16000));
  ASSERT_NE(page, nullptr);
  ASSERT_NE(subPage, nullptr);
  std::memset(page, 0xAB, 24);
  aafreeall(page);
  EXPECT_EQ(liveBlocks, base + 2) << "both pages kept";
  EXPECT_EQ(aamallocFromPage(16000), subPage) << "the last page released comes back first";
  aaStartSubList();
  auto* again = static_cast<uint8_t*>(aamallocFromPage(24));
  EXPECT_EQ(again, page);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(again[i], 0) << "zero-filled";
  aafreeall(aagetlist());
  EXPECT_EQ(liveBlocks, base + 2);
}

TEST_F(DecodeTree, FreeingASubListKeepsTheRest) {
  void* top = aamalloc(8);
  aaStartSubList();
  aamalloc(8);
  aaFreeSubList();
  EXPECT_EQ(xm_getParentOfItem(aamalloc(8)), xm_getParentOfItem(top));
  EXPECT_EQ(liveBlocks, base + 3);
  aaFreeSubList();  // none open: nothing happens
  EXPECT_EQ(liveBlocks, base + 3);
  aafreeall(aagetlist());
}

TEST_F(DecodeTree, SubListThatCannotBeMadeEndsThePassAndKeepsTheTree) {
  SessionBuffer* chain = chainOf({{0x05, 0x00}});
  void* kept = nullptr;
  const int32_t err = parse(chain, [&] {
    kept = aamalloc(8);
    xm_setDefaultAlloc([](size_t) -> void* { return nullptr; }, countingFree);
    aaStartSubList();
  });
  xm_setDefaultAlloc(countingAlloc, countingFree);
  EXPECT_EQ(err, 18);
  EXPECT_STREQ(aafile, "src/aaxm");
  EXPECT_EQ(aaline, 139u);
  EXPECT_EQ(slot(), xm_getParentOfItem(kept));
  aafreeall(aagetlist());
  freeChain(chain);
}

// ---------------------------------------------------------------------------
// Value helpers

using ValueOps = BerTest;

TEST_F(ValueOps, ObjectIdentifiersCompareByCountThenArcs) {
  struct Case {
    ObjId a, b;
    int32_t want;
  };
  const Case cases[] = {
      {{0, {}}, {0, {7}}, 1},
      {{3, {1, 2, 3}}, {3, {1, 2, 3, 9}}, 1},
      {{3, {1, 2, 3}}, {3, {1, 2, 4}}, 0},
      {{2, {1, 2}}, {3, {1, 2, 3}}, 0},
      {{16, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
       {16, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}}, 1},
      {{kObjIdAbsent, {1}}, {kObjIdAbsent, {2}}, 1},
      {{17, {}}, {17, {5}}, 1},
      {{17, {}}, {18, {}}, 0},
  };
  for (const Case& c : cases) {
    // Exactly-sized copies, so that a read past the arcs is caught.
    auto a = std::make_unique<ObjId>(c.a);
    auto b = std::make_unique<ObjId>(c.b);
    EXPECT_EQ(ul_objidcmp(a.get(), b.get()), c.want) << a->count << " / " << b->count;
  }
}

TEST_F(ValueOps, FixedIdentifierCopyRefusesMoreThanSixteenArcs) {
  ObjId dst{2, {9, 9}};
  const ObjId big{17, {}};
  EXPECT_EQ(ul_objidcpy(&dst, &big), 0);
  EXPECT_EQ(dst.count, 2u);
  EXPECT_EQ(dst.arcs[0], 9u);
  const ObjId src{3, {1, 0, 9579}};
  EXPECT_EQ(ul_objidcpy(&dst, &src), 1);
  EXPECT_EQ(ul_objidcmp(&dst, &src), 1);
}

TEST_F(ValueOps, VariableFormsCopyIntoTheGivenTree) {
  XmTree* tree = _xm_allocTree(nullptr);
  uint32_t arcs[] = {1, 2, 826, 0, 1050};
  const ObjIdV id{5, arcs};
  ObjIdV* idCopy = ul_objidvcpyRetPtr(&id, tree);
  ASSERT_NE(idCopy, nullptr);
  EXPECT_NE(idCopy->arcs, arcs);
  EXPECT_EQ(xm_getParentOfItem(idCopy->arcs), tree);
  EXPECT_EQ(ul_objidvcmp(idCopy, &id), 1);
  arcs[4] = 1051;
  EXPECT_EQ(ul_objidvcmp(idCopy, &id), 0);
  uint32_t keep = 0;
  ObjIdV empty{7, &keep};
  const ObjIdV none{0, nullptr};
  EXPECT_EQ(ul_objidvcpy(&empty, &none, tree), 1);
  EXPECT_EQ(empty.count, 0u);
  EXPECT_EQ(empty.arcs, &keep) << "an empty copy leaves the pointer";

  uint8_t octets[] = {1, 2, 3};
  const OctStgV s{3, octets};
  OctStgV* sCopy = ul_octstgvcpyRetPtr(&s, tree);
  ASSERT_NE(sCopy, nullptr);
  EXPECT_EQ(ul_octstgvcmp(sCopy, &s), 1);
  OctStgV zero{5, nullptr};
  const OctStgV emptyS{0, nullptr};
  EXPECT_EQ(ul_octstgvcpy(&zero, &emptyS, tree), 1);
  EXPECT_EQ(zero.length, 0u);
  EXPECT_NE(zero.octets, nullptr) << "an item even for no octets";

  uint8_t bits[] = {0xF0, 0x0F, 0xAA, 0x55, 0x80};
  const BitStgV b{7, 5, bits};
  BitStgV bCopy{};
  EXPECT_EQ(ul_bitscpy(&bCopy, &b, tree), 1);
  EXPECT_EQ(bCopy.unused, 7u);
  EXPECT_EQ(bCopy.count, 5u);
  EXPECT_EQ(Bytes(bCopy.octets, bCopy.octets + 5), Bytes(bits, bits + 5));
  _xm_freeTree(tree);
}

int memcmpCalls = 0;
int countingMemcmp(const void* a, const void* b, size_t n) {
  ++memcmpCalls;
  return std::memcmp(a, b, n);
}

TEST_F(ValueOps, OctetStringsOfDifferentLengthsAreNotCompared) {
  auto* saved = gqv_memcmp;
  gqv_memcmp = countingMemcmp;
  uint8_t x[4] = {1, 2, 3, 4};
  const OctStgV three{3, x};
  const OctStgV four{4, x};
  EXPECT_EQ(ul_octstgvcmp(&three, &four), 0);
  EXPECT_EQ(memcmpCalls, 0);
  EXPECT_EQ(ul_octstgvcmp(&four, &four), 1);
  EXPECT_EQ(memcmpCalls, 1) << "through the stack's comparison function";
  alignas(OctStg) uint8_t a[8] = {3, 0, 0, 0, 'a', 'b', 'c'};
  alignas(OctStg) uint8_t b[8] = {3, 0, 0, 0, 'a', 'b', 'd'};
  EXPECT_EQ(ul_octstgcmp(reinterpret_cast<OctStg*>(a), reinterpret_cast<OctStg*>(a)), 1);
  EXPECT_EQ(ul_octstgcmp(reinterpret_cast<OctStg*>(a), reinterpret_cast<OctStg*>(b)), 0);
  gqv_memcmp = saved;
}

// ---------------------------------------------------------------------------
// Raw codec pairs

using RawCodecs = BerTest;

TEST_F(RawCodecs, RawNumbersUseTheFewestOctetsThatKeepTheSign) {
  struct Case {
    uint32_t v;
    Bytes contents;
    uint32_t back;  // as read again
  };
  const Case cases[] = {
      {0, {0x00}, 0},
      {0x7F, {0x7F}, 0x7F},
      {0x80, {0x00, 0x80}, 128},
      {0x1234, {0x12, 0x34}, 0x1234},
      {0x8000, {0x00, 0x80, 0x00}, 0x8000},
      {0x7FFFFFFF, {0x7F, 0xFF, 0xFF, 0xFF}, 0x7FFFFFFF},
  };
  for (const Case& c : cases) {
    int64_t n = 0;
    const Bytes out = formatted([&] {
      n = fGenericPtr(c.v);
      EXPECT_EQ(cons, 0u);
      return n;
    });
    EXPECT_EQ(out, c.contents) << std::hex << c.v;
    EXPECT_EQ(n, static_cast<int64_t>(c.contents.size()));
    Bytes in{0x80, static_cast<uint8_t>(c.contents.size())};
    in.insert(in.end(), c.contents.begin(), c.contents.end());
    SessionBuffer* chain = chainOf({in});
    uint32_t got = 1;
    EXPECT_EQ(parse(chain, [&] {
                ber_getid(0x80, 0);
                got = aGenericPtr();
                EXPECT_EQ(lev, 0);
              }),
              0);
    EXPECT_EQ(got, c.back);
    freeChain(chain);
  }
  EXPECT_EQ(formatted([] { return fGenericPtr(0x80000000u); }), (Bytes{0x00, 0x80, 0x00, 0x00, 0x00}));
}

TEST_F(RawCodecs, RawNumberReadingRefusesWhatItCannotHold) {
  struct Case {
    Bytes in;
    uint32_t want;
    int32_t err;
    uint32_t line;
  };
  const Case cases[] = {
      {{0x80, 0x01, 0x80}, 0xFFFFFF80u, 0, 0},
      {{0x80, 0x00}, 0, 0, 0},
      {{0x80, 0x05, 0x00, 0x80, 0x00, 0x00, 0x00}, 0, 1, 152},
      {{0xA0, 0x03, 0x80, 0x01, 0x01}, 0, 20, 134},
  };
  for (const Case& c : cases) {
    SessionBuffer* chain = chainOf({c.in});
    uint32_t got = 1;
    EXPECT_EQ(parse(chain, [&] {
                ber_getid(0x80, 0);
                got = aGenericPtr();
              }),
              c.err);
    if (c.err == 0) {
      EXPECT_EQ(got, c.want);
    } else {
      EXPECT_STREQ(aafile, "ilinux/genptr");
      EXPECT_EQ(aaline, c.line);
    }
    freeChain(chain);
  }
}

TEST_F(RawCodecs, PreEncodedBlocksPassThrough) {
  const uint8_t block[] = {0x30, 0x04, 0x00, 0x06, 0xAA, 0xBB, 0xCC, 0xDD};
  int64_t n = 0;
  EXPECT_EQ(formatted([&] { return n = fPerm(block); }), (Bytes{0x30, 0x04, 0x00, 0x06, 0xAA, 0xBB}));
  EXPECT_EQ(n, 6);
  SessionBuffer* chain = chainOf({{0x04, 0x03}, {0x41, 0x42, 0x43}});
  uint8_t* got = nullptr;
  EXPECT_EQ(parse(chain, [&] {
              ber_getid(0, 4);
              got = aPerm();
            }),
            0);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(Bytes(got, got + 3), (Bytes{0x41, 0x42, 0x43}));
  EXPECT_EQ(xm_getParentOfItem(got), reinterpret_cast<XmTree*>(getXmTLS(0)->decodeTree));
  aafreeall(aagetlist());
  freeChain(chain);
}

}  // namespace
