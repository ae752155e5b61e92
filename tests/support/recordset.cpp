#include "support/recordset.h"

#include <mutex>

void ensureProcessMutexes() {
  static std::once_flag once;
  std::call_once(once, [] {
    glMainThreadId = QvGetThreadHandle();
    ASSERT_EQ(QvCreateMutexes(), 1);
    hSerializeMutex = QvCreateMutex();
    ASSERT_NE(hSerializeMutex, nullptr);
  });
}

void RecordSetTest::SetUp() {
  ensureProcessMutexes();
  savedSwitch_ = QvMultiThread;
  QvSetMultiThread(1);
  ASSERT_EQ(QvCreateAllTLS(), 1);
  ASSERT_NE(xm_init(), nullptr);
}

void RecordSetTest::TearDown() {
  QvSetMultiThread(1);
  xm_shutdown();
  QvRemoveAllTLS();
  QvSetMultiThread(savedSwitch_);
}
