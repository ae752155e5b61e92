#include "support/xm_count.h"

#include "src/runtime/xm.h"

void XmCountTest::SetUp() {
  ensureProcessMutexes();
  savedSwitch_ = QvMultiThread;
  QvSetMultiThread(1);
  ASSERT_EQ(QvCreateAllTLS(), 1);
  xm_setDefaultAlloc(countingAlloc, countingFree);
  allocBudget = -1;
  allocFailAfter = -1;
  liveBlocks = 0;
  ASSERT_NE(xm_init(), nullptr);
  base_ = liveBlocks.load();
}

void XmCountTest::TearDown() {
  allocBudget = -1;
  allocFailAfter = -1;
  EXPECT_EQ(xmLive(), 0) << "every XM block of the test is back";
  xm_shutdown();
  EXPECT_EQ(liveBlocks.load(), 0);
  xm_setDefaultAlloc(XM_malloc, XM_free);
  QvRemoveAllTLS();
  QvSetMultiThread(savedSwitch_);
}
