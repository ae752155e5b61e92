#include "src/odbc/alltls.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/recordset.h"

namespace {

class RecordSet : public RecordSetTest {};

TEST_F(RecordSet, CreatesThirteenRecordsForTheCallingThread) {
  AllTLS set{};
  QvGetAllTLS(&set);
  const void* records[] = {set.lmo,    set.xm,     set.gutil,   set.rdaCli,  set.al,
                           set.system, set.rdaAse, set.acseAse, set.rdaAe,   set.rdaSacf,
                           set.rdaSur, set.acse,   set.session};
  for (const void* r : records) EXPECT_NE(r, nullptr);
  EXPECT_EQ(set.gutil->ownerThreadId, QvGetThreadId());
}

TEST_F(RecordSet, RekeyMovesRecordsAndCacheSlotsTogether) {
  AllTLS set{};
  QvGetAllTLS(&set);
  const uint64_t me = QvGetThreadId();
  EXPECT_EQ(QvChangeThreadIdInAllTLS(&set, 0), me);  // parked
  EXPECT_EQ(set.xm->ownerThreadId, 0u);
  EXPECT_EQ(set.session->cacheSlot->threadId.load(), 0u);
  EXPECT_EQ(getGutilTLS(0), nullptr);

  std::thread other([&] {
    const uint64_t id = QvGetThreadId();
    EXPECT_EQ(QvChangeThreadIdInAllTLS(&set, id), 0u);
    EXPECT_EQ(getGutilTLS(0), set.gutil);  // from the cache, by this thread's id
    EXPECT_EQ(getXmTLS(0), set.xm);
    EXPECT_EQ(set.gutil->cacheSlot->threadId.load(), id);
    EXPECT_EQ(QvChangeThreadIdInAllTLS(&set, me), id);
  });
  other.join();
  EXPECT_EQ(getSessionTLS(0), set.session);
}

TEST_F(RecordSet, RemovalLeavesOtherThreadsRecordsAlone) {
  AllTLS mine{};
  QvGetAllTLS(&mine);
  std::thread other([] {
    ASSERT_EQ(QvCreateAllTLS(), 1);
    EXPECT_NE(getLmoTLS(0), nullptr);
    QvRemoveAllTLS();
    EXPECT_EQ(getLmoTLS(0), nullptr);
    EXPECT_EQ(getXmTLS(0), nullptr);
  });
  other.join();
  EXPECT_EQ(getLmoTLS(0), mine.lmo);
  EXPECT_EQ(getXmTLS(0), mine.xm);
}

}  // namespace
