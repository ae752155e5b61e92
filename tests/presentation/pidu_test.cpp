// The presentation interface data unit: its reset, the release of the tree
// that holds it, data elements, and the trace names of the events.
#include <cstring>
#include <string>

#include "src/presentation/pidu.h"
#include "src/presentation/pnames.h"
#include "src/runtime/xm.h"
#include "support/xm_count.h"

namespace {

using Pidu = XmCountTest;

TEST_F(Pidu, ResetMarksEverythingAbsentOrEmptyOverAnyOldContents) {
  PIDU p;
  std::memset(&p, 0xAB, sizeof p);
  p_clear_pidu(&p);
  for (int i = 0; i < kPiduCtxCount; ++i) {
    EXPECT_EQ(p.ctxDefList[i], -1) << i;
    EXPECT_EQ(p.ctxResultList[i], 0) << i;
    EXPECT_EQ(p.ctxSpareList[i], -1) << i;
    EXPECT_EQ(p.ctxIdList[i], -1) << i;
  }
  EXPECT_EQ(p.local.pSel.length, -1);
  EXPECT_EQ(static_cast<int32_t>(p.remote.pSel.length), -1);
  EXPECT_EQ(p.responding.pSel.length, -1);
  EXPECT_EQ(p.dfltCtx, -1);
  EXPECT_EQ(p.reason, -1);
  EXPECT_EQ(p.dataList.next, &p.dataList) << "no user data: the ring is empty";
  EXPECT_EQ(p.dataList.prev, &p.dataList);
  EXPECT_EQ(p.endOfSdu, 1u);
  EXPECT_EQ(p.sessVersion, 2u) << "session version 2";
  EXPECT_EQ(p.flag1, 1u);
  EXPECT_EQ(p.flag2, 1u);
  // Everything else is zero.
  EXPECT_EQ(p.userRef, 0u);
  EXPECT_EQ(p.event, 0u);
  EXPECT_EQ(p.local.pSel.octets, nullptr);
  EXPECT_EQ(p.local.flags, 0);
  EXPECT_EQ(p.remote.mask, 0u);
  EXPECT_EQ(p.remote.sSel.length, 0u);
  EXPECT_EQ(p.dfltResult, 0);
  EXPECT_EQ(p.serial, 0u);
  EXPECT_EQ(p.cid.calledLen, 0u);
  EXPECT_EQ(p.userDataLimit, 0u);
  EXPECT_EQ(p.x410Params, nullptr);
}

TEST_F(Pidu, ResetAndReleaseIgnoreNull) {
  p_clear_pidu(nullptr);
  p_free_pidu(nullptr);
  p_clear_delem(nullptr);
}

TEST_F(Pidu, DataElementResetIsEmptyAndSelfLinked) {
  DElem d;
  std::memset(&d, 0x5C, sizeof d);
  p_clear_delem(&d);
  EXPECT_EQ(d.next, &d);
  EXPECT_EQ(d.prev, &d);
  EXPECT_EQ(d.pctxId, -1);
  EXPECT_EQ(d.encoding, 0u);
  EXPECT_EQ(d.flags, 0u);
  EXPECT_EQ(d.value, nullptr);
}

TEST_F(Pidu, ReleaseFreesTheTopmostTreeThatHoldsIt) {
  // A unit's tree with an item of its own, and the PIDU in a child tree of
  // it (as a GIDU holds its PIDU).
  XmTree* unit = _xm_allocTree(nullptr);
  ASSERT_NE(_xm_allocItem(unit, 64, XM_ZERO), nullptr);
  XmTree* child = _xm_allocTree(unit);
  auto* pidu = static_cast<PIDU*>(_xm_allocItem(child, sizeof(PIDU), XM_ZERO));
  ASSERT_NE(pidu, nullptr);
  p_clear_pidu(pidu);
  // A tree beside it stays.
  XmTree* other = _xm_allocTree(nullptr);
  ASSERT_NE(_xm_allocItem(other, 8, 0), nullptr);
  const long withOther = 2;
  p_free_pidu(pidu);
  EXPECT_EQ(xmLive(), withOther);
  _xm_freeTree(other);
}

TEST_F(Pidu, ReleaseOfAPiduInTheRootTreeFreesOnlyThePidu) {
  auto* pidu = static_cast<PIDU*>(_xm_allocItem(nullptr, sizeof(PIDU), XM_ZERO));
  ASSERT_NE(pidu, nullptr);
  p_free_pidu(pidu);
  EXPECT_EQ(xmLive(), 0);
}

TEST(PNames, EventsHaveTheirTraceNamesAndTheInnerEventsNone) {
  const struct {
    uint32_t event;
    const char* name;
  } cases[] = {
      {0, "???"},          {1, "???"},         {2, "ACTD.req"},    {14, "CONN.req"},   {15, "CONN.+rsp"},
      {16, "CONN.-rsp"},   {17, "DTA.req"},    {26, "RSYNC(A).req"}, {36, "ALTCTX.rsp"}, {37, "???"},
      {75, "???"},         {76, "ACTD.ind"},   {89, "CONN.ind"},   {90, "CONN.+cnf"},  {92, "DTA.ind"},
      {98, "PABRT.ind"},   {112, "ALTCTX.cnf"}, {113, "ALTCTX.ind"},
  };
  for (const auto& c : cases) EXPECT_STREQ(p_names[c.event], c.name) << c.event;
  for (uint32_t e = 37; e <= 75; ++e) EXPECT_STREQ(p_names[e], "???") << e;
  for (uint32_t e = 2; e < kPNamesCount; ++e) {
    if (e < 37 || e > 75) {
      EXPECT_STRNE(p_names[e], "???") << e;
    }
  }
}

}  // namespace
