#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "support/clock.h"
#include "common/timer2.h"
#include "support/recordset.h"

namespace {

struct TestRec {
  uint64_t ownerThreadId;
  TLSCacheSlot* cacheSlot;
  int32_t payload;
  TestRec* next;
};

QvMutexHandle testMutex = nullptr;

// A private family, emptied again at the end of each test.
class Family : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureProcessMutexes();
    if (testMutex == nullptr) testMutex = QvCreateMutex();
  }
  void TearDown() override {
    while (fam.first != nullptr) delete fam.get(fam.first->ownerThreadId, 1, false);
    fam.destroyCache();
  }
  // Makes a record for the calling thread and parks it under `id`.
  TestRec* add(uint64_t id) {
    EXPECT_EQ(fam.init(), 1);
    TestRec* r = fam.first;
    tlsRekey(r, id);
    return r;
  }
  int32_t slotOf(const TestRec* r) const {
    return r->cacheSlot == nullptr ? -1 : static_cast<int32_t>(r->cacheSlot - fam.cache.load());
  }
  TLSFamily<TestRec> fam{&testMutex, TLSMissTrace{nullptr, -1, 9, "test", "miss %lX\n"}};
};

TEST_F(Family, CacheSlotsAreTakenLowestFirstAndTheBoundNeverShrinks) {
  TestRec* a = add(11);
  TestRec* b = add(12);
  TestRec* c = add(13);
  EXPECT_EQ(slotOf(a), 0);
  EXPECT_EQ(slotOf(b), 1);
  EXPECT_EQ(slotOf(c), 2);
  EXPECT_EQ(fam.maxIndex.load(), 2);

  delete fam.get(11, 1);
  TestRec* d = add(14);
  EXPECT_EQ(slotOf(d), 0);  // the freed slot is reused
  delete fam.get(13, 1);
  EXPECT_EQ(fam.maxIndex.load(), 2);  // never shrinks
  EXPECT_EQ(fam.get(14, 0), d);
  EXPECT_EQ(fam.get(12, 0), b);
  EXPECT_EQ(fam.get(13, 0), nullptr);
}

TEST_F(Family, FullCacheKeepsNewRecordsOnTheListOnly) {
  for (uint64_t i = 1; i <= 100; ++i) add(1000 + i);
  EXPECT_EQ(fam.maxIndex.load(), 99);
  int32_t slot = -1;
  TestRec probe{};
  EXPECT_EQ(addTLSIntoCache(fam.cache.load(), 5, &probe, &slot), fam.cache.load());
  EXPECT_EQ(slot, 0);

  TestRec* extra = add(5000);
  EXPECT_EQ(extra->cacheSlot, nullptr);
  EXPECT_EQ(getTLSFromCache(fam.cache.load(), 5000, fam.maxIndex.load()), nullptr);
  EXPECT_EQ(fam.get(5000, 0), extra);  // found through the list
  EXPECT_EQ(fam.get(1050, 0)->ownerThreadId, 1050u);
}

TEST_F(Family, RemovingTheMiddleRecordRelinksItsNeighbours) {
  TestRec* first = add(1);
  TestRec* second = add(2);
  TestRec* third = add(3);
  // Newest first: 3 -> 2 -> 1.
  ASSERT_EQ(fam.first, third);
  EXPECT_EQ(fam.get(2, 1), second);
  EXPECT_EQ(third->next, first);
  EXPECT_EQ(second->next, nullptr);
  EXPECT_EQ(second->cacheSlot, nullptr);
  delete second;
  delete fam.get(3, 1);
  delete fam.get(1, 1);
  EXPECT_EQ(fam.first, nullptr);
}

TEST_F(Family, ZeroRecordInAMatchingSlotIsAMissThatWalksTheList) {
  TestRec* r = add(77);
  r->cacheSlot->record.store(nullptr);
  EXPECT_EQ(getTLSFromCache(fam.cache.load(), 77, fam.maxIndex.load()), nullptr);
  EXPECT_EQ(fam.get(77, 0), r);
  EXPECT_EQ(getTLSFromCache(fam.cache.load(), 77, -1), nullptr);
}

TEST_F(Family, DestroyedCacheLeavesRecordsReachableWithoutSlots) {
  TestRec* r = add(21);
  fam.destroyCache();
  EXPECT_EQ(fam.cache.load(), nullptr);
  EXPECT_EQ(r->cacheSlot, nullptr);
  EXPECT_EQ(fam.get(21, 0), r);
  tlsRekey(r, 22);  // must not touch the freed array
  EXPECT_EQ(fam.get(22, 0), r);
  TestRec* s = add(23);  // a new cache is made
  EXPECT_NE(fam.cache.load(), nullptr);
  EXPECT_EQ(fam.get(23, 0), s);
}

TEST_F(Family, RepeatedLookupsFollowSlotsThatChangeBetweenThem) {
  // A lookup remembers the slot it found; each change of the slots must
  // make the next lookup give what a scan of the cache gives.
  TestRec* a = add(31);
  TestRec* b = add(32);
  EXPECT_EQ(fam.get(31, 0), a);
  EXPECT_EQ(fam.get(31, 0), a);
  tlsRekey(b, 31);  // the higher slot now holds the same id: the scan takes it
  EXPECT_EQ(fam.get(31, 0), b);
  delete fam.get(31, 1);  // the newest record of the id goes
  EXPECT_EQ(fam.get(31, 0), a);
  tlsRekey(a, 33);
  EXPECT_EQ(fam.get(31, 0), nullptr);
  EXPECT_EQ(fam.get(33, 0), a);
  fam.destroyCache();
  EXPECT_EQ(fam.get(33, 0), a);  // through the list
}

class Gutil : public RecordSetTest {};

TEST_F(Gutil, ThreadWithoutRecordGetsNull) {
  std::thread t([] {
    EXPECT_EQ(getGutilTLS(1), nullptr);
    EXPECT_EQ(getGutilTLS(0), nullptr);
    QvSetOsiError(5);  // nothing to store it in
    EXPECT_EQ(QvGetOsiError(), 0);
  });
  t.join();
  EXPECT_NE(getGutilTLS(0), nullptr);  // this thread's record is untouched
}

TEST_F(Gutil, RecordStartsZeroFilledAndKeepsTheErrorNumber) {
  GutilTLS* g = getGutilTLS(0);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->ownerThreadId, QvGetThreadId());
  EXPECT_EQ(g->schemaPath[0], '\0');
  EXPECT_EQ(g->iniFile[0], '\0');
  EXPECT_EQ(g->serverAddress[0], '\0');
  EXPECT_EQ(g->portOverride[0], '\0');
  EXPECT_EQ(QvGetOsiError(), 0);
  QvSetOsiError(0x8012);
  EXPECT_EQ(QvGetOsiError(), 0x8012);
  EXPECT_EQ(getSpecificGutilTLS(QvGetThreadId(), 0), g);
}

TEST_F(Gutil, SwitchOffSharesOneRecordBetweenThreads) {
  QvSetMultiThread(0);
  std::vector<GutilTLS*> seen(2, nullptr);
  std::thread a([&] { seen[0] = getGutilTLS(0); QvSetOsiError(42); });
  a.join();
  std::thread b([&] { seen[1] = getGutilTLS(0); EXPECT_EQ(QvGetOsiError(), 42); });
  b.join();
  EXPECT_NE(seen[0], nullptr);
  EXPECT_EQ(seen[0], seen[1]);
  QvSetMultiThread(1);
}

TEST_F(Gutil, StopwatchMeasuresTheDifference) {
  ClockSteer clock;
  clock.set(10, 900000);
  timerStart();
  clock.set(12, 100000);
  EXPECT_NEAR(timerStop(), 1.2, 1e-9);
  GutilTLS* g = getGutilTLS(0);
  EXPECT_EQ(g->startSec, 10);
  EXPECT_EQ(g->stopUsec, 100000);
}

}  // namespace
