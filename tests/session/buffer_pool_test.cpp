#include "src/session/buffer_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

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

TEST_F(BufferPool, ReleasedBuffersAreReusedUpToTheConfiguredCount) {
  countBlocks();
  const long base = liveBlocks;
  ASSERT_EQ(init_buffers(2, 64), 1);
  SessionBuffer* b[3] = {balloc(-1), balloc(-1), balloc(-1)};
  EXPECT_EQ(liveBlocks, base + 4);
  for (SessionBuffer* x : b) bfree(x);
  EXPECT_EQ(QvGetSbCount(), 0u);
  EXPECT_EQ(liveBlocks, base + 3) << "two kept, the third back to the heap";
  // The kept ones come back (last kept first) as new buffers, without the heap.
  SessionBuffer* again[2] = {balloc(10), balloc(0)};
  EXPECT_EQ(again[0], b[1]);
  EXPECT_EQ(again[1], b[0]);
  EXPECT_EQ(liveBlocks, base + 3);
  EXPECT_EQ(again[0]->length, 10u);
  EXPECT_EQ(again[0]->data, again[0]->area + 54);
  EXPECT_EQ(again[1]->length, 0u);
  EXPECT_EQ(again[1]->next, again[1]);
  EXPECT_EQ(again[1]->endFlag, 1u);
  EXPECT_EQ(QvGetSbCount(), 2u);
  SessionBuffer* fresh = balloc(-1);
  EXPECT_EQ(liveBlocks, base + 4) << "an empty free list asks the heap";
  bfree(fresh);
  bfree(again[0]);
  bfree(again[1]);
  close_buffers();
  EXPECT_EQ(liveBlocks, base) << "kept buffers go with the pool's tree";
}

TEST_F(BufferPool, OnlyThisPoolsOwnBuffersAreKept) {
  countBlocks();
  const long base = liveBlocks;
  ASSERT_EQ(init_buffers(20, 64), 1);
  // A pool buffer with a second holder.
  SessionBuffer* shared = balloc(-1);
  xm_addReferenceItem(shared);
  bfree(shared);
  EXPECT_EQ(balloc(-1) == shared, false) << "a buffer still held elsewhere is not handed out again";
  _xm_freeItem(shared);
  EXPECT_EQ(init_buffers(0, 64), 1);
  SessionBuffer* b = balloc(-1);
  bfree(b);
  EXPECT_EQ(liveBlocks, base + 1) << "a count of 0 keeps nothing";
  close_buffers();
  EXPECT_EQ(liveBlocks, base);
}

#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer an overrun into the spare octets behind a buffer,
// and any use of a buffer kept after its release, are reported.
TEST_F(BufferPool, SpareOctetsAndKeptBuffersArePoisoned) {
  ASSERT_EQ(init_buffers(20, 64), 1);
  SessionBuffer* b = balloc(-1);
  EXPECT_EQ(__asan_region_is_poisoned(b, kSbHeadRoom + 64), nullptr) << "header and area are usable";
  for (uint32_t i = 0; i < kSbTailRoom; ++i) EXPECT_TRUE(__asan_address_is_poisoned(b->area + 64 + i)) << i;
  uint8_t* const area = b->area;
  bfree(b);
  EXPECT_TRUE(__asan_address_is_poisoned(area));
  EXPECT_TRUE(__asan_address_is_poisoned(&b->length)) << "not even the header may be read";
  SessionBuffer* again = balloc(-1);
  ASSERT_EQ(again, b);
  EXPECT_EQ(__asan_region_is_poisoned(again, kSbHeadRoom + 64), nullptr);
  EXPECT_TRUE(__asan_address_is_poisoned(again->area + 64));
  bfree(again);
}
#endif

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
