#include "common/qvthread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/recordset.h"

namespace {

using namespace std::chrono_literals;

// Restores the multi-threading switch when a test ends.
struct SwitchGuard {
  int32_t saved = QvMultiThread;
  explicit SwitchGuard(int32_t value) { QvSetMultiThread(value); }
  ~SwitchGuard() { QvSetMultiThread(saved); }
};

// Waits up to a second for a flag; false when it never came.
bool eventually(const std::atomic<bool>& flag) {
  for (int i = 0; i < 1000 && !flag.load(); ++i) std::this_thread::sleep_for(1ms);
  return flag.load();
}

bool isFree(QvMutexHandle h) {
  if (pthread_mutex_trylock(&h->m) != 0) return false;
  pthread_mutex_unlock(&h->m);
  return true;
}

TEST(QvThread, SwitchOffGivesEveryThreadTheMainThreadId) {
  ensureProcessMutexes();
  SwitchGuard off(0);
  uint64_t other = 0;
  std::thread t([&] { other = QvGetThreadId(); });
  t.join();
  EXPECT_EQ(QvGetThreadId(), glMainThreadId);
  EXPECT_EQ(other, glMainThreadId);
  EXPECT_NE(QvGetThreadHandle(), 0u);
}

TEST(QvThread, SwitchOnGivesEachThreadItsOwnId) {
  SwitchGuard on(1);
  uint64_t other = 0;
  std::thread t([&] { other = QvGetThreadId(); });
  t.join();
  EXPECT_NE(other, QvGetThreadId());
  EXPECT_EQ(QvGetThreadId(), QvGetThreadHandle());
}

TEST(QvThread, SwitchOffPlainWaitDoesNotLockButThreadSafeWaitBlocks) {
  QvMutexHandle m = QvCreateMutex();
  ASSERT_NE(m, nullptr);
  SwitchGuard off(0);
  ASSERT_EQ(QvWaitForThreadSafeObject(m), 0);  // this thread holds it for real

  std::atomic<bool> plainDone{false}, safeLocked{false};
  std::thread t([&] {
    EXPECT_EQ(QvWaitForSingleObject(m), 0);  // returns at once
    EXPECT_EQ(QvReleaseMutex(m), 0);
    plainDone = true;
    EXPECT_EQ(QvWaitForThreadSafeObject(m), 0);
    safeLocked = true;
    EXPECT_EQ(QvReleaseThreadSafeMutex(m), 0);
  });
  EXPECT_TRUE(eventually(plainDone));
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(safeLocked.load());
  EXPECT_EQ(QvReleaseThreadSafeMutex(m), 0);
  t.join();
  EXPECT_TRUE(safeLocked.load());
  EXPECT_EQ(QvDestroyMutex(m), 0);
}

class GlobalLock : public RecordSetTest {};

TEST_F(GlobalLock, NestedTakesHoldTheMutexUntilTheLastRelease) {
  for (int i = 0; i < 3; ++i) ASSERT_EQ(QvCheckAndWaitForSingleObject(hSerializeGlobalMutex), 0);
  EXPECT_EQ(QvGetGlobalMutexLockCount(), 3);

  std::atomic<bool> locked{false};
  std::thread other([&] {
    // This thread has no record set: a plain lock and unlock.
    EXPECT_EQ(QvCheckAndWaitForSingleObject(hSerializeGlobalMutex), 0);
    locked = true;
    EXPECT_EQ(QvCheckAndReleaseMutex(hSerializeGlobalMutex), 0);
  });
  for (int i = 0; i < 2; ++i) {
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(locked.load());
    EXPECT_EQ(QvCheckAndReleaseMutex(hSerializeGlobalMutex), 0);
  }
  std::this_thread::sleep_for(30ms);
  EXPECT_FALSE(locked.load());
  EXPECT_EQ(QvCheckAndReleaseMutex(hSerializeGlobalMutex), 0);
  other.join();
  EXPECT_TRUE(locked.load());
  EXPECT_EQ(QvGetGlobalMutexLockCount(), 0);
  EXPECT_TRUE(isFree(hSerializeGlobalMutex));
}

TEST_F(GlobalLock, ScopeGuardsNestAndFreeTheMutexWhenTheOutermostEnds) {
  std::atomic<bool> locked{false};
  std::thread other;
  {
    QvGlobalLock outer;
    {
      QvGlobalLock inner;
      EXPECT_EQ(QvGetGlobalMutexLockCount(), 2);
    }
    EXPECT_EQ(QvGetGlobalMutexLockCount(), 1);
    other = std::thread([&] {
      QvGlobalLock lock;
      locked = true;
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(locked.load());
  }
  other.join();
  EXPECT_TRUE(locked.load());
  EXPECT_EQ(QvGetGlobalMutexLockCount(), 0);
  EXPECT_TRUE(isFree(hSerializeGlobalMutex));
}

TEST_F(GlobalLock, ThreadWithoutRecordGetsPlainLockAndUnlock) {
  std::thread t([] {
    EXPECT_EQ(QvGetGlobalMutexLockCount(), 0);
    EXPECT_EQ(QvIncGlobalMutexLockCount(), 0);
    EXPECT_EQ(QvCheckAndWaitForSingleObject(hSerializeGlobalMutex), 0);
    EXPECT_FALSE(isFree(hSerializeGlobalMutex));
    EXPECT_EQ(QvCheckAndReleaseMutex(hSerializeGlobalMutex), 0);
    EXPECT_TRUE(isFree(hSerializeGlobalMutex));
  });
  t.join();
}

TEST_F(GlobalLock, OtherHandlesAreNotCounted) {
  QvMutexHandle m = QvCreateMutex();
  EXPECT_EQ(QvCheckAndWaitForSingleObject(m), 0);
  EXPECT_EQ(QvGetGlobalMutexLockCount(), 0);
  EXPECT_FALSE(isFree(m));
  EXPECT_EQ(QvCheckAndReleaseMutex(m), 0);
  EXPECT_TRUE(isFree(m));
  QvDestroyMutex(m);
}

TEST_F(GlobalLock, SwitchOffMakesTheDriverMutexTheGlobalOneAndLocksNothing) {
  SwitchGuard off(0);
  EXPECT_EQ(QvIsGlobalMutex(hSerializeMutex), 1);
  EXPECT_EQ(QvIsGlobalMutex(hSerializeGlobalMutex), 0);
  EXPECT_EQ(QvCheckAndWaitForSingleObject(hSerializeMutex), 0);
  EXPECT_TRUE(isFree(hSerializeMutex));
  EXPECT_EQ(QvCheckAndReleaseMutex(hSerializeMutex), 0);
  QvSetMultiThread(1);
  EXPECT_EQ(QvIsGlobalMutex(hSerializeGlobalMutex), 1);
  EXPECT_EQ(QvIsGlobalMutex(hSerializeMutex), 0);
  EXPECT_EQ(QvIsGlobalMutex(nullptr), 0);
}

TEST(QvThread, SemaphoreInitialCounts) {
  SwitchGuard on(1);
  QvSemHandle open = QvCreateSem(0);
  QvSemHandle taken = QvCreateSem(1);
  ASSERT_NE(open, nullptr);
  ASSERT_NE(taken, nullptr);
  int v = -1;
  sem_getvalue(&open->s, &v);
  EXPECT_EQ(v, 1);
  sem_getvalue(&taken->s, &v);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(QvWaitOnSem(open), 0);  // passes at once
  EXPECT_EQ(QvReleaseSem(taken), 0);
  EXPECT_EQ(QvWaitOnSem(taken), 0);
  EXPECT_EQ(QvDestroySem(open), 0);
  EXPECT_EQ(QvDestroySem(taken), 0);
}

TEST(QvThread, SemaphoreCallsDoNothingWithSwitchOff) {
  QvSemHandle taken = QvCreateSem(1);
  SwitchGuard off(0);
  EXPECT_EQ(QvWaitOnSem(taken), 0);  // would block with the switch on
  EXPECT_EQ(QvReleaseSem(taken), 0);
  int v = -1;
  sem_getvalue(&taken->s, &v);
  EXPECT_EQ(v, 0);
  QvDestroySem(taken);
}

TEST(QvThread, NullHandlesAreRefusedWithoutCrashing) {
  SwitchGuard on(1);
  EXPECT_NE(QvWaitForSingleObject(nullptr), 0);
  EXPECT_NE(QvReleaseMutex(nullptr), 0);
  EXPECT_NE(QvWaitForThreadSafeObject(nullptr), 0);
  EXPECT_NE(QvDestroyMutex(nullptr), 0);
  EXPECT_NE(QvWaitOnSem(nullptr), 0);
  EXPECT_NE(QvDestroySem(nullptr), 0);
}

TEST(QvThread, ThreadCallsAndFixedAnswers) {
  static std::atomic<int> ran{0};
  QvThreadHandle h = QvCreateThread([](void*) -> void* { ran = 1; return nullptr; }, nullptr);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(QvJoinThread(h), 0);
  EXPECT_EQ(ran.load(), 1);
  QvThreadHandle d = QvCreateThread([](void*) -> void* { return nullptr; }, nullptr);
  EXPECT_EQ(QvDetachThread(d), 0);
  EXPECT_EQ(QvCloseThreadHandle(h), 1);
  EXPECT_EQ(QvSuspendThread(h), 0);
  EXPECT_EQ(QvResumeThread(h), 0);
  EXPECT_EQ(QvIsMainThread(), 1);
}

}  // namespace
