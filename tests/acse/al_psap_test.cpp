// Copy of presentation addresses.
#include <string>
#include <vector>

#include "src/acse/al_psap.h"
#include "src/acse/al_trace.h"
#include "src/runtime/xm.h"
#include "support/trace_capture.h"
#include "support/xm_count.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A source address with its network-address entries on the stack.
struct SourceAddress {
  UL_Paddress a{};
  std::vector<UL_NaddrEntry> entries;
  explicit SourceAddress(std::vector<Bytes*> addrs) : entries(addrs.size()) {
    UL_Link* head = &a.nAddrs.links;
    head->next = head->prev = head;
    for (size_t i = 0; i < addrs.size(); ++i) {
      entries[i].addr = OctStgV{static_cast<uint32_t>(addrs[i]->size()), addrs[i]->data()};
      entries[i].links.prev = head->prev;
      entries[i].links.next = head;
      head->prev->next = &entries[i].links;
      head->prev = &entries[i].links;
    }
    a.nAddrs.count = static_cast<uint32_t>(addrs.size());
  }
};

Bytes bytesOf(const OctStgV& v) { return v.octets != nullptr ? Bytes(v.octets, v.octets + v.length) : Bytes{}; }

std::vector<Bytes> addrsOf(const UL_Paddress& a) {
  std::vector<Bytes> out;
  for (const UL_Link* l = a.nAddrs.links.next; l != &a.nAddrs.links; l = l->next)
    out.push_back(bytesOf(reinterpret_cast<const UL_NaddrEntry*>(l)->addr));
  return out;
}

using AlCopyPsap = XmCountTest;

TEST_F(AlCopyPsap, CopiesPresentSelectorsAndEveryNetworkAddressIntoTheTree) {
  Bytes p{0x01, 0x02}, t{0x00, 0x66, 0x77}, n1{0x49, 0x00, 0x01}, n2{0x7f, 0x00, 0x00, 0x01};
  SourceAddress src({&n1, &n2});
  src.a.mask = UL_PADDR_PSEL | UL_PADDR_TSEL;
  src.a.pSel = OctStgV{2, p.data()};
  src.a.sSel = OctStgV{5, nullptr};  // not present: never read
  src.a.tSel = OctStgV{3, t.data()};
  XmTree* tree = _xm_allocTree(nullptr);
  UL_Paddress dst{};
  dst.sSel = OctStgV{0xFFFFFFFF, nullptr};  // an absent selector is left as it was
  ASSERT_EQ(al_copyPSAP(&dst, &src.a, tree), &dst);
  EXPECT_EQ(dst.mask, UL_PADDR_PSEL | UL_PADDR_TSEL);
  EXPECT_EQ(bytesOf(dst.pSel), p);
  EXPECT_EQ(bytesOf(dst.tSel), t);
  EXPECT_EQ(dst.sSel.length, 0xFFFFFFFFu);
  EXPECT_NE(dst.pSel.octets, src.a.pSel.octets) << "a copy, not the source's octets";
  EXPECT_EQ(xm_getParentOfItem(dst.pSel.octets), tree);
  EXPECT_EQ(dst.nAddrs.count, 2u);
  EXPECT_EQ(addrsOf(dst), (std::vector<Bytes>{n1, n2})) << "in the source's order";
  EXPECT_EQ(xm_getParentOfItem(dst.nAddrs.links.next), tree);
  _xm_freeTree(tree);
}

TEST_F(AlCopyPsap, NegativeOrZeroSelectorLengthGivesLengthZeroAndNoOctets) {
  uint8_t junk[4] = {9, 9, 9, 9};
  SourceAddress src({});
  src.a.mask = UL_PADDR_PSEL | UL_PADDR_SSEL;
  src.a.pSel = OctStgV{static_cast<uint32_t>(-1), junk};
  src.a.sSel = OctStgV{0, junk};
  UL_Paddress dst{};
  dst.pSel = OctStgV{7, junk};
  ASSERT_EQ(al_copyPSAP(&dst, &src.a, nullptr), &dst);
  EXPECT_EQ(dst.pSel.length, 0u);
  EXPECT_EQ(dst.pSel.octets, nullptr);
  EXPECT_EQ(dst.sSel.length, 0u);
  EXPECT_EQ(dst.sSel.octets, nullptr);
  EXPECT_EQ(dst.nAddrs.count, 0u);
  EXPECT_EQ(dst.nAddrs.links.next, &dst.nAddrs.links) << "an empty ring";
  EXPECT_EQ(xmLive(), 0) << "nothing allocated";
}

TEST_F(AlCopyPsap, ACountThatDisagreesWithTheRingFollowsTheRing) {
  Bytes n1{1};
  SourceAddress src({&n1});
  src.a.nAddrs.count = 5;
  XmTree* tree = _xm_allocTree(nullptr);
  UL_Paddress dst{};
  ASSERT_EQ(al_copyPSAP(&dst, &src.a, tree), &dst);
  EXPECT_EQ(dst.nAddrs.count, 1u);
  EXPECT_EQ(addrsOf(dst), (std::vector<Bytes>{n1}));
  _xm_freeTree(tree);
}

TEST_F(AlCopyPsap, NoMemoryGivesNullAndATrace) {
  Bytes p{1, 2}, n1{3, 4};
  SourceAddress src({&n1});
  src.a.mask = UL_PADDR_PSEL;
  src.a.pSel = OctStgV{2, p.data()};
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_ERROR | AL_TL_TRIVIA}});
  XmTree* tree = _xm_allocTree(nullptr);
  UL_Paddress dst{};
  EXPECT_EQ(withBudget(0, [&] { return al_copyPSAP(&dst, &src.a, tree); }), nullptr);
  EXPECT_EQ(trace.count("*** No memory"), 1u);
  // The selector is copied; the address entry is not.
  EXPECT_EQ(withBudget(1, [&] { return al_copyPSAP(&dst, &src.a, tree); }), nullptr);
  EXPECT_EQ(trace.count("No memory"), 2u);
  EXPECT_EQ(trace.count("*** No memory"), 1u) << "the address entry's line has no stars";
  _xm_freeTree(tree);
}

}  // namespace
