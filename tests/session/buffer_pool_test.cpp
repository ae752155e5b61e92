#include "src/session/buffer_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "src/runtime/xm.h"
#include "src/session/systemtls.h"
#include "support/counting_alloc.h"
#include "support/recordset.h"

namespace {


class BufferPool : public RecordSetTest {
 protected:
  void TearDown() override {
    close_buffers();
    xm_setDefaultAlloc(XM_malloc, XM_free);
    RecordSetTest::TearDown();
  }
  // Restarts XM under counting hooks, so that released trees can be seen.
  void countBlocks() {
    xm_shutdown();
    xm_setDefaultAlloc(countingAlloc, countingFree);
    liveBlocks = 0;
    ASSERT_NE(xm_init(), nullptr);
  }
};

TEST_F(BufferPool, SizeLimitIsInclusiveAndSizesOfZeroOrBelowAreRefused) {
  EXPECT_EQ(init_buffers(20, 65539), 1);
  EXPECT_EQ(getSystemTLS(0)->bufferSize, 65539);
  for (int32_t bad : {65540, 0, -1, -10240}) {
    EXPECT_EQ(init_buffers(20, bad), 0) << bad;
    EXPECT_EQ(getSystemTLS(0)->bufferSize, 65539) << "a refused size leaves the pool as it was";
  }
}

TEST_F(BufferPool, NothingIsHandedOutBeforeSetUpOrAfterClose) {
  for (int32_t len : {0, -1, 1}) EXPECT_EQ(balloc(len), nullptr) << len;
  ASSERT_EQ(init_buffers(20, 64), 1);
  SessionBuffer* b = balloc(0);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(close_buffers(), 1);
  EXPECT_EQ(balloc(0), nullptr) << "the closed pool's tree is gone";
  EXPECT_EQ(init_buffers(20, 64), 1) << "a new start after a close works";
  EXPECT_NE(balloc(0), nullptr);
}

TEST_F(BufferPool, LengthsAreRightAlignedInTheArea) {
  ASSERT_EQ(init_buffers(20, 10240), 1);
  struct Case {
    int32_t len;
    uint32_t length;
    uint32_t offset;  // of the data from the area's start
  };
  for (const Case& c : {Case{-1, 10240, 0}, Case{0, 0, 10240}, Case{100, 100, 10140}, Case{10240, 10240, 0}}) {
    SessionBuffer* b = balloc(c.len);
    ASSERT_NE(b, nullptr) << c.len;
    EXPECT_EQ(b->capacity, 10240u);
    EXPECT_EQ(b->length, c.length) << c.len;
    EXPECT_EQ(b->data, b->area + c.offset) << c.len;
    EXPECT_EQ(b->next, b);
    EXPECT_EQ(b->prev, b);
    EXPECT_EQ(b->endFlag, 1u);
    std::memset(b->area, 0xA5, b->capacity);  // the whole area is ours
    bfree(b);
  }
  EXPECT_EQ(balloc(10241), nullptr);
}

TEST_F(BufferPool, CountFollowsAllocationsAndReleases) {
  ASSERT_EQ(init_buffers(20, 128), 1);
  EXPECT_EQ(QvGetSbCount(), 0u);
  SessionBuffer* a = balloc(-1);
  SessionBuffer* b = balloc(5);
  EXPECT_EQ(QvGetSbCount(), 2u);
  EXPECT_EQ(bsize(b), 5u);
  EXPECT_EQ(bsize(nullptr), 0u);
  bfree(nullptr);
  bfree(a);
  EXPECT_EQ(QvGetSbCount(), 1u);
  bfree(b);
  EXPECT_EQ(QvGetSbCount(), 0u);
}

TEST_F(BufferPool, FreeingTheMiddleOfARingKeepsTheOthersInOrder) {
  ASSERT_EQ(init_buffers(20, 16), 1);
  SessionBuffer* a = balloc(1);
  SessionBuffer* b = balloc(2);
  SessionBuffer* c = balloc(3);
  a->next = b, b->next = c, c->next = a;
  a->prev = c, b->prev = a, c->prev = b;
  bfree(b);
  EXPECT_EQ(a->next, c);
  EXPECT_EQ(c->next, a);
  EXPECT_EQ(a->prev, c);
  EXPECT_EQ(c->prev, a);
  bfree(a);
  EXPECT_EQ(c->next, c) << "the last one left is a ring of one";
  EXPECT_EQ(c->prev, c);
  bfree(c);
}

TEST_F(BufferPool, StartingAgainOnALivePoolReleasesTheOldBuffers) {
  countBlocks();
  const long base = liveBlocks;
  ASSERT_EQ(init_buffers(20, 256), 1);
  for (int i = 0; i < 3; ++i) ASSERT_NE(balloc(-1), nullptr);
  EXPECT_EQ(liveBlocks, base + 4);  // the tree and its buffers
  ASSERT_EQ(init_buffers(20, 512), 1);
  EXPECT_EQ(liveBlocks, base + 1) << "only the new, empty tree is left";
  EXPECT_EQ(QvGetSbCount(), 0u);
  EXPECT_EQ(balloc(-1)->capacity, 512u);
  close_buffers();
  EXPECT_EQ(liveBlocks, base);
}

TEST_F(BufferPool, ThreadWithoutRecordGetsNoBuffers) {
  ASSERT_EQ(init_buffers(20, 64), 1);
  SessionBuffer* fromOtherThread = reinterpret_cast<SessionBuffer*>(1);
  uint32_t countThere = 1;
  std::thread t([&] {
    fromOtherThread = balloc(0);
    countThere = QvGetSbCount();
  });
  t.join();
  EXPECT_EQ(fromOtherThread, nullptr);
  EXPECT_EQ(countThere, 0u);
}

}  // namespace
