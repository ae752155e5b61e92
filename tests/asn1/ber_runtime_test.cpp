// Passes, the buffer chain, marks, skipping and the dump of the BER runtime.
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "asn1/ber_fixture.h"

namespace {

// ---------------------------------------------------------------------------
// A value of every shape the runtime handles, and its encoding by hand:
//
// [APPLICATION 1] {                      61 81 DF
//   [0]   raw number 0x80                80 02 00 80
//   [31]  "ABC"                          9F 1F 03 41 42 43
//   [2]   200 octets 0, 1, ... 199       82 81 C8 00 01 ... C7
//   [3]   { [4] empty }                  A3 02 84 00
//   [200] raw number 0x1234              9F 81 48 02 12 34
// }
Bytes sampleEncoding() {
  Bytes b{0x61, 0x81, 0xDF, 0x80, 0x02, 0x00, 0x80, 0x9F, 0x1F, 0x03, 0x41, 0x42, 0x43, 0x82, 0x81, 0xC8};
  for (int i = 0; i < 200; ++i) b.push_back(static_cast<uint8_t>(i));
  b.insert(b.end(), {0xA3, 0x02, 0x84, 0x00, 0x9F, 0x81, 0x48, 0x02, 0x12, 0x34});
  return b;
}

struct Sample {
  uint32_t a = 0;
  uint8_t abc[3] = {};
  uint8_t run[200] = {};
  uint32_t b = 0;
};

int64_t fSample(void*) {
  uint8_t run[200];
  for (int i = 0; i < 200; ++i) run[i] = static_cast<uint8_t>(i);
  int64_t n = ber_addid(0x80, 200, fGenericPtr(0x1234));
  n += ber_addid(0x80, 3, ber_addid(0x80, 4, 0));
  aa_copy(run, nullptr, sizeof run);
  cons = 0;
  n += ber_addid(0x80, 2, sizeof run);
  aa_copy("ABC", nullptr, 3);
  cons = 0;
  n += ber_addid(0x80, 31, 3);
  n += ber_addid(0x80, 0, fGenericPtr(0x80));
  return ber_addid(0x40, 1, n);
}

void need(bool ok) {
  if (!ok) aaRaise(AAE_MSGPARAM, "test", __LINE__);
}

void getOctets(void* dst, int64_t n) {
  aa_copy(nullptr, dst, static_cast<uint64_t>(n));
  aa_leaveLevel();
}

void* aSample(void* out) {
  auto* v = static_cast<Sample*>(out);
  need(ber_getid(0x40, 1) == 223);
  need(ber_getid(0x80, 0) == 2);
  v->a = aGenericPtr();
  need(ber_getid(0x80, 31) == 3);
  getOctets(v->abc, 3);
  need(ber_getid(0x80, 2) == 200);
  getOctets(v->run, 200);
  need(ber_getid(0x80, 3) == 2 && cons == 32);
  need(ber_getid(0x80, 4) == 0 && cons == 0);
  aa_leaveLevel();
  need(ber_chkend() == 1);
  need(ber_getid(0x80, 200) == 2);
  v->b = aGenericPtr();
  need(ber_chkend() == 1);
  need(lev == 0 && ber_chkend() == 1);
  return out;
}

void expectSample(const Sample& v) {
  EXPECT_EQ(v.a, 0x80u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(v.abc), 3), "ABC");
  for (int i = 0; i < 200; ++i) ASSERT_EQ(v.run[i], i);
  EXPECT_EQ(v.b, 0x1234u);
}

using BerRoundTrip = BerTest;

TEST_F(BerRoundTrip, EveryBufferSizeWritesTheSameOctetsAndReadsThemBack) {
  const Bytes want = sampleEncoding();
  for (int32_t size = 8; size <= 64; ++size) {
    SCOPED_TRACE(size);
    ASSERT_EQ(init_buffers(20, size), 1);
    rtp_setf(balloc(-1));
    uint32_t err = 0;
    ASSERT_EQ(p_format(fSample, nullptr, &err), 226);
    SessionBuffer* chain = nullptr;
    rtp_getf(&chain);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(bytesOf(chain), want);
    EXPECT_EQ(ringSize(chain), (226 + static_cast<size_t>(size) - 1) / static_cast<size_t>(size));
    EXPECT_EQ(chain->prev->endFlag, 1u) << "the first buffer closes the unit";
    for (SessionBuffer* b = chain; b != chain->prev; b = b->next) {
      EXPECT_EQ(b->endFlag, 0u);
      if (b != chain) {
        EXPECT_EQ(b->length, static_cast<uint32_t>(size)) << "only the head is partly filled";
      }
    }
    Sample v;
    rtp_setp(chain);
    int32_t perr = -1;
    EXPECT_EQ(p_parse(aSample, &v, &perr), &v);
    EXPECT_EQ(perr, 0);
    expectSample(v);
    freeChain(chain);
    EXPECT_EQ(QvGetSbCount(), 0u);
  }
}

TEST_F(BerRoundTrip, HandEncodingReadsBackAtEverySplitPoint) {
  const Bytes in = sampleEncoding();
  // Two and three pieces, empty pieces included (i == j, or cuts at the ends).
  for (size_t i = 0; i <= in.size(); ++i) {
    for (size_t j = i; j <= in.size(); ++j) {
      SessionBuffer* chain = chainSplit(in, {i, j});
      Sample v;
      rtp_setp(chain);
      int32_t err = -1;
      ASSERT_EQ(p_parse(aSample, &v, &err), &v) << "cuts " << i << ", " << j << " error " << err;
      expectSample(v);
      freeChain(chain);
    }
  }
}

// ---------------------------------------------------------------------------
// Pass frames

using BerPass = BerTest;

void* returnsNull(void*) { return nullptr; }
void* returnsOne(void*) { return reinterpret_cast<void*>(1); }
void* raises7(void*) { aaRaise(AAE_NOTINCHOICE, "test", 1); }
void* jumpsOut(void*) { aa_jump_out(40974); }
int64_t writesNothing(void*) { return 0; }
int64_t formatRaises7(void*) { aaRaise(AAE_NOTINCHOICE, "test", 2); }
int64_t formatJumpsOut(void*) { aa_jump_out(40974); }

TEST_F(BerPass, ParseResultAndErrorFollowTheRoutine) {
  int32_t value = 0;
  struct Case {
    const char* what;
    AaParseFn fn;
    void* arg;
    void* result;
    int32_t err;
    int32_t osi;  // osi_errno afterwards (cleared before)
  };
  const Case cases[] = {
      {"non-zero answer gives the argument", returnsOne, &value, &value, 0, 0},
      {"no argument gives the answer", returnsOne, nullptr, reinterpret_cast<void*>(1), 0, 0},
      {"zero answer is INVVALUE", returnsNull, &value, nullptr, 32, 0},
      {"aaerror code", raises7, &value, nullptr, 7, 7},
      {"jump-out code, osi_errno untouched", jumpsOut, &value, nullptr, 40974, 0},
  };
  for (const Case& c : cases) {
    QvSetOsiError(0);
    int32_t err = -1;
    EXPECT_EQ(p_parse(c.fn, c.arg, &err), c.result) << c.what;
    EXPECT_EQ(err, c.err) << c.what;
    EXPECT_EQ(QvGetOsiError(), c.osi) << c.what;
    QvSetOsiError(0);
    EXPECT_EQ(p_parse(c.fn, c.arg, nullptr), c.result) << c.what;
    EXPECT_EQ(QvGetOsiError(), c.err) << "without err the code goes to osi_errno: " << c.what;
  }
  EXPECT_EQ(rtp_env, nullptr);
}

TEST_F(BerPass, FormatReportsThroughOsiErrno) {
  uint32_t err = 77;
  QvSetOsiError(0);
  EXPECT_EQ(p_format(writesNothing, nullptr, &err), 0);
  EXPECT_EQ(err, 77u) << "the normal path leaves *err alone";
  EXPECT_EQ(QvGetOsiError(), 32);
  QvSetOsiError(5);
  p_format(writesNothing, nullptr, &err);
  EXPECT_EQ(QvGetOsiError(), 5) << "an earlier error is kept";
  QvSetOsiError(0);
  EXPECT_EQ(rtp_format(writesNothing, nullptr, &err), 0);
  EXPECT_EQ(QvGetOsiError(), 0) << "the bare frame sets nothing";
  EXPECT_EQ(p_format(formatJumpsOut, nullptr, &err), 0);
  EXPECT_EQ(err, 40974u);
  EXPECT_EQ(QvGetOsiError(), 40974) << "an escape always reaches osi_errno";
  EXPECT_EQ(p_format(formatRaises7, nullptr, nullptr), 0);
  EXPECT_EQ(QvGetOsiError(), 7);
}

// The outer routine formats a value, runs an inner pass that escapes, and
// escapes itself afterwards: the outer frame must catch its own escape.
RtpFrame* frameSeenBefore = nullptr;
RtpFrame* frameSeenAfter = nullptr;
uint32_t innerErr = 0;
int64_t innerResult = -1;
int64_t outerThenRaise(void*) {
  frameSeenBefore = rtp_env;
  innerResult = p_format(formatJumpsOut, nullptr, &innerErr);
  frameSeenAfter = rtp_env;
  ber_addid(0, 5, 0);
  aaRaise(AAE_NOTINCHOICE, "test", 3);
}
int64_t outerCompletes(void*) {
  innerResult = p_format(formatRaises7, nullptr, &innerErr);
  return ber_addid(0, 5, 0);
}

TEST_F(BerPass, NestedEscapeEndsOnlyTheInnerPass) {
  uint32_t err = 0;
  rtp_setf(balloc(-1));
  EXPECT_EQ(p_format(outerThenRaise, nullptr, &err), 0);
  EXPECT_EQ(innerResult, 0);
  EXPECT_EQ(innerErr, 40974u);
  EXPECT_NE(frameSeenBefore, nullptr);
  EXPECT_EQ(frameSeenAfter, frameSeenBefore) << "the outer target is in force again";
  EXPECT_EQ(err, 7u) << "the outer escape reached the outer frame";
  EXPECT_EQ(rtp_env, nullptr);
  SessionBuffer* chain = nullptr;
  rtp_getf(&chain);
  freeChain(chain);

  rtp_setf(balloc(-1));
  err = 0;
  EXPECT_EQ(p_format(outerCompletes, nullptr, &err), 2);
  EXPECT_EQ(innerErr, 7u);
  EXPECT_EQ(err, 0u);
  rtp_getf(&chain);
  EXPECT_EQ(bytesOf(chain), (Bytes{0x05, 0x00}));
  freeChain(chain);
}

std::atomic<int> lockProbe{-1};
void* probesTheLock(void* arg) {
  std::thread t([] { lockProbe = pthread_mutex_trylock(&hSerializeGlobalMutex->m); });
  t.join();
  return arg;
}

TEST_F(BerPass, PassHoldsTheGlobalMutexAndReleasesItAfterwards) {
  int32_t err = -1;
  int dummy = 0;
  EXPECT_EQ(p_parse(probesTheLock, &dummy, &err), &dummy);
  EXPECT_NE(lockProbe.load(), 0) << "another thread could take the mutex during the pass";
  ASSERT_EQ(pthread_mutex_trylock(&hSerializeGlobalMutex->m), 0);
  pthread_mutex_unlock(&hSerializeGlobalMutex->m);
  EXPECT_EQ(p_parse(raises7, &dummy, &err), nullptr);
  ASSERT_EQ(pthread_mutex_trylock(&hSerializeGlobalMutex->m), 0) << "released on the escape path too";
  pthread_mutex_unlock(&hSerializeGlobalMutex->m);
  EXPECT_EQ(QvGetGlobalMutexLockCount(), 0);
}

// Lines that reach the trace manager's line hook. On the first one another
// thread tries to write a line of its own.
std::vector<std::string> hookLines;
std::thread* intruder = nullptr;
void captureLine(uint32_t, const char* text) {
  hookLines.emplace_back(text);
  if (intruder == nullptr) {
    intruder = new std::thread([] { TM_TRACE(rtp_TM_handle, 8, "test", "intruder\n"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

TEST_F(BerPass, ErrorLinesGoToBothModulesAsOnePair) {
  const int32_t savedHeader = bConfigInfoTraced;
  bConfigInfoTraced = 1;
  ASSERT_EQ(tm_init(2), 1);
  rtp_TM_handle = tm_open("RTP : ", "rtp");
  tm_ts_modCB = tm_open("PRES: ", "ts");
  tm_setMask(rtp_TM_handle, 8);
  tm_setMask(tm_ts_modCB, 4096);
  ASSERT_EQ(tm_register(1024, captureLine), 1);
  int32_t err = 0;
  int dummy = 0;
  EXPECT_EQ(p_parse(raises7, &dummy, &err), nullptr);
  ASSERT_NE(intruder, nullptr);
  intruder->join();
  delete intruder;
  intruder = nullptr;
  tm_shutdown();
  tmOutFunc = nullptr;
  rtp_TM_handle = tm_ts_modCB = -1;
  bConfigInfoTraced = savedHeader;
  ASSERT_EQ(hookLines.size(), 3u);
  EXPECT_NE(hookLines[0].find("RTP : "), std::string::npos) << hookLines[0];
  EXPECT_NE(hookLines[0].find("AAERROR: called error= 7 from test:1\n"), std::string::npos) << hookLines[0];
  EXPECT_NE(hookLines[1].find("PRES: "), std::string::npos) << hookLines[1];
  EXPECT_NE(hookLines[1].find("AAERROR: called error= 7 from test:1\n"), std::string::npos) << hookLines[1];
  EXPECT_NE(hookLines[2].find("intruder"), std::string::npos) << "the other line waits for the pair";
}

TEST_F(BerPass, ErrorNamesAreIndexedByCodeMinusOne) {
  EXPECT_STREQ(rtpErrorTab[AAE_OVFLO - 1], "OVFLO");
  EXPECT_STREQ(rtpErrorTab[AAE_MAX_NESTING - 1], "MAX_NESTING");
  EXPECT_STREQ(rtpErrorTab[AAE_NOMEM - 1], "NOMEM");
  EXPECT_STREQ(rtpErrorTab[AAE_IDERR - 1], "IDERR");
  EXPECT_STREQ(rtpErrorTab[AAE_LENERR - 1], "LENERR");
  EXPECT_STREQ(rtpErrorTab[AAE_FILE_NOT_AVAIL - 1], "FILE_NOT_AVAIL");
  EXPECT_STREQ(rtpErrorTab[AAE_INVVALUE - 1], "INVVALUE");
  EXPECT_STREQ(rtpErrorTab[kRtpErrorCount - 1], "UNKNOWN_ANY");
  EXPECT_EQ(AAE_UNKNOWN_ANY, 33u);
}

// ---------------------------------------------------------------------------
// Buffer chain

using BerChain = BerTest;

TEST_F(BerChain, EmptyChainIsLevelZeroAtItsEnd) {
  SessionBuffer* chain = chainOf({{}});
  EXPECT_EQ(parse(chain, [] {
              EXPECT_EQ(lev, 0);
              EXPECT_EQ(eopenv[0].remaining, 0);
              EXPECT_EQ(ber_gettype(), 0);
              EXPECT_EQ(lev, 0);
            }),
            0);
  freeChain(chain);
}

TEST_F(BerChain, ReadingPastTheLastBufferIsRefused) {
  SessionBuffer* chain = chainOf({{1, 2}, {}, {3}});
  uint8_t got[3] = {};
  EXPECT_EQ(parse(chain, [&] {
              EXPECT_EQ(eopenv[0].remaining, 3);
              aa_copy(nullptr, got, 3);
              uint8_t* end = aapdu;
              under_flow();
              EXPECT_EQ(aapdu, end) << "no further buffer: nothing changes";
              EXPECT_EQ(currentBuffer, chain->prev);
              aa_copy(nullptr, got, 1);
            }),
            25);
  EXPECT_EQ(got[0], 1);
  EXPECT_EQ(got[2], 3);
  freeChain(chain);
}

TEST_F(BerChain, LengthToTheLevelEndCountsAcrossBuffers) {
  // [1] of 6 octets spread over three buffers.
  SessionBuffer* chain = chainOf({{0xA1, 0x06, 0x04, 0x01}, {0xAA, 0x04}, {0x01, 0xBB}});
  EXPECT_EQ(parse(chain, [&] {
              ASSERT_EQ(ber_getid(0x80, 1), 6);
              EXPECT_EQ(getLengthOfData(aapdu, currentBuffer), 6);
              ASSERT_EQ(ber_getid(0, 4), 1);
              EXPECT_EQ(getLengthOfData(aapdu, currentBuffer), 1);
              aa_skip();
              EXPECT_EQ(getLengthOfData(aapdu, currentBuffer), 3);
              EXPECT_EQ(getLengthOfData(chain->data, chain), 8) << "from the chain's start, header included";
            }),
            0);
  freeChain(chain);
  chain = chainOf({{0xA1, 0x80, 0x00, 0x00}});
  EXPECT_EQ(parse(chain, [&] {
              ber_getid(0x80, 1);
              EXPECT_EQ(findLength(aapdu, currentBuffer), -1) << "indefinite";
              ber_chkend();
              EXPECT_EQ(lev, 0);
              ++lev;  // a level whose end was never set in this chain
              eop[lev] = chain->data;
              eopenv[lev].endBuffer = nullptr;
              findLength(aapdu, currentBuffer);
            }),
            25);
  freeChain(chain);
}

TEST_F(BerChain, FormattingPrependsBuffersAndFailsCleanlyWithoutMemory) {
  // No released buffers kept: every new buffer comes from the heap.
  ASSERT_EQ(init_buffers(0, 8), 1);
  uint8_t run[20];
  for (int i = 0; i < 20; ++i) run[i] = static_cast<uint8_t>(i);
  const Bytes out = formatted([&] {
    aa_copy(run, nullptr, sizeof run);
    cons = 0;
    return ber_addid(0, 4, 20);
  });
  Bytes want{0x04, 0x14};
  want.insert(want.end(), run, run + 20);
  EXPECT_EQ(out, want);

  // A pool that cannot give more memory: the escape leaves the chain whole.
  rtp_setf(balloc(-1));
  xm_setDefaultAlloc([](size_t) -> void* { return nullptr; }, XM_free);
  uint32_t err = 0;
  EXPECT_EQ(p_format(
                [](void*) -> int64_t {
                  const uint8_t nine[9] = {};
                  return static_cast<int64_t>(aa_copy(nine, nullptr, 9));
                },
                nullptr, &err),
            0);
  xm_setDefaultAlloc(XM_malloc, XM_free);
  EXPECT_EQ(err, 18u);
  EXPECT_STREQ(aafile, "src/rtp_cfg");
  EXPECT_EQ(aaline, 280u);
  SessionBuffer* chain = nullptr;
  rtp_getf(&chain);
  EXPECT_EQ(ringSize(chain), 1u);
  EXPECT_EQ(chain->length, 8u);
  freeChain(chain);
}

TEST_F(BerChain, TearHandsOverTheContentsOfADefiniteElement) {
  // SEQUENCE { [0] AA BB CC } NULL, with the [0] contents split.
  SessionBuffer* chain = chainOf({{0x30, 0x05, 0x80, 0x03, 0xAA}, {0xBB, 0xCC, 0x05, 0x00}});
  SessionBuffer* torn = nullptr;
  EXPECT_EQ(parse(chain, [&] {
              ASSERT_EQ(ber_getid(0, 16), 5);
              ASSERT_EQ(ber_getid(0x80, 0), 3);
              torn = tearBufferFromCurrent();
              EXPECT_EQ(lev, 2) << "the level is not left";
              EXPECT_EQ(ber_chkend(), 1);
              EXPECT_EQ(ber_chkend(), 1);
              EXPECT_EQ(ber_getid(0, 5), 0);
            }),
            0);
  ASSERT_EQ(torn, chain);
  EXPECT_EQ(Bytes(torn->data, torn->data + torn->length), (Bytes{0xAA}));
  freeChain(chain);
}

TEST_F(BerChain, TearOfAnIndefiniteElementCutsTheEndOfContents) {
  // [0] (indefinite) { AA BB } 00 00 -- wherever the buffers are cut, the
  // contents handed over end right before the end-of-contents octets.
  const Bytes in{0xA0, 0x80, 0x04, 0x02, 0xAA, 0xBB, 0x00, 0x00};
  for (size_t cut = 3; cut <= in.size(); ++cut) {
    SCOPED_TRACE(cut);
    SessionBuffer* chain = chainSplit(in, {2, cut});
    SessionBuffer* torn = nullptr;
    EXPECT_EQ(parse(chain, [&] {
                ASSERT_EQ(ber_getid(0x80, 0), 0);
                torn = tearBufferFromCurrent();
                EXPECT_EQ(lev, 1) << "re-entered";
              }),
              0);
    ASSERT_NE(torn, nullptr);
    Bytes contents;
    for (SessionBuffer* b = torn; b != chain; b = b->next) contents.insert(contents.end(), b->data, b->data + b->length);
    EXPECT_EQ(contents, (Bytes{0x04, 0x02, 0xAA, 0xBB}));
    freeChain(chain);
  }
}

TEST_F(BerChain, PreEncodedBuffersGoInFrontOfWhatWasWritten) {
  SessionBuffer* pre = chainOf({{0x41, 0x42}, {0x43, 0x44}});
  uint32_t err = 0;
  SessionBuffer* chain = nullptr;
  const int64_t n = format(
      [&] {
        aa_copy("XY", nullptr, 2);
        chainToFrontOfCurrent(pre);
        cons = 0;
        return ber_addid(0x80, 1, 6);
      },
      &err, &chain);
  EXPECT_EQ(n, 8);
  EXPECT_EQ(bytesOf(chain), (Bytes{0x81, 0x06, 0x41, 0x42, 0x43, 0x44, 0x58, 0x59}));
  EXPECT_EQ(chain, pre);
  EXPECT_EQ(chain->prev->endFlag, 1u) << "the first buffer still closes the unit";
  EXPECT_EQ(chain->next->endFlag, 0u) << "the pre-encoded octets no longer do";
  freeChain(chain);

  // Nothing written yet: the fresh buffer is given back.
  pre = chainOf({{0x41}});
  const uint32_t before = QvGetSbCount();
  chain = nullptr;
  format(
      [&] {
        chainToFrontOfCurrent(pre);
        return int64_t{1};
      },
      &err, &chain);
  EXPECT_EQ(bytesOf(chain), (Bytes{0x41}));
  EXPECT_EQ(QvGetSbCount(), before);
  freeChain(chain);
}

// ---------------------------------------------------------------------------
// Marks, single context, skipping

using BerMark = BerTest;

TEST_F(BerMark, FifthMarkLivesInAnItemAndIsPoppedFirst) {
  SessionBuffer* chain = chainOf({{1, 2, 3}, {4, 5, 6}});
  XmTree* root = getXmTLS(0)->rootTree;
  EXPECT_EQ(parse(chain, [&] {
              uint8_t* at[6];
              for (int i = 0; i < 6; ++i) {
                aa_normalise();
                at[i] = aapdu;
                EXPECT_EQ(aa_push_mark(), 1);
                aa_copy(nullptr, nullptr, 1);
              }
              EXPECT_EQ(pre_allocated_count, 4);
              ASSERT_NE(aa_context_stack, nullptr);
              EXPECT_EQ(xm_getParentOfItem(aa_context_stack), root);
              EXPECT_NE(aa_context_stack->link, nullptr);
              for (int i = 5; i >= 0; --i) {
                EXPECT_EQ(aa_pop_restore(), 1);
                EXPECT_EQ(aapdu, at[i]) << i;
                EXPECT_EQ(*aapdu, i + 1);
              }
              EXPECT_EQ(aa_pop_restore(), 0);
              EXPECT_EQ(aa_pop_mark(), 0);
              EXPECT_EQ(aa_context_stack, nullptr);
            }),
            0);
  freeChain(chain);
}

TEST_F(BerMark, MarkThatCannotBeKeptEndsThePass) {
  SessionBuffer* chain = chainOf({{1, 2, 3}});
  EXPECT_EQ(parse(chain, [&] {
              for (int i = 0; i < 4; ++i) aa_push_mark();
              xm_setDefaultAlloc([](size_t) -> void* { return nullptr; }, XM_free);
              aa_push_mark();
            }),
            18);
  xm_setDefaultAlloc(XM_malloc, XM_free);
  EXPECT_EQ(pre_allocated_count, 0) << "the escaped pass's marks are dropped";
  freeChain(chain);
}

std::atomic<long> markBlocks{0};

TEST_F(BerMark, MarksLeftBehindAreDroppedWithTheirItems) {
  xm_setDefaultAlloc(
      [](size_t n) -> void* {
        ++markBlocks;
        return std::malloc(n);
      },
      [](void* p) {
        if (p != nullptr) --markBlocks;
        std::free(p);
      });
  SessionBuffer* chain = chainOf({{1, 2, 3}});
  // A pass that escapes with its marks pushed, over one pushed before it.
  rtp_setp(chain);
  aa_push_mark();
  markBlocks = 0;
  int32_t err = 0;
  p_parse(
      [](void*) -> void* {
        for (int i = 0; i < 6; ++i) aa_push_mark();
        aaRaise(AAE_NOTINCHOICE, "test", 4);
      },
      &err, &err);
  EXPECT_EQ(err, 7);
  EXPECT_EQ(markBlocks, 0) << "the pass's items are released by its frame";
  EXPECT_EQ(pre_allocated_count, 1) << "the mark from before the pass stays";
  // Marks pushed outside a pass go with the next set-up.
  for (int i = 0; i < 5; ++i) aa_push_mark();
  EXPECT_EQ(markBlocks, 2);
  rtp_setp(chain);
  EXPECT_EQ(markBlocks, 0);
  EXPECT_EQ(pre_allocated_count, 0);
  EXPECT_EQ(aa_context_stack, nullptr);
  // The same for a format set-up.
  for (int i = 0; i < 5; ++i) aa_push_mark();
  SessionBuffer* out = balloc(-1);
  rtp_setf(out);
  EXPECT_EQ(markBlocks, 1) << "only the new buffer";
  EXPECT_EQ(pre_allocated_count, 0);
  bfree(out);
  xm_setDefaultAlloc(XM_malloc, XM_free);
  freeChain(chain);
}

TEST_F(BerMark, SingleContextRestoresThePositionWithItsBuffer) {
  SessionBuffer* chain = chainOf({{0x30, 0x04, 0x04}, {0x02, 0xAA, 0xBB}});
  EXPECT_EQ(parse(chain, [&] {
              ASSERT_EQ(ber_getid(0, 16), 4);
              aamark();
              ASSERT_EQ(ber_getid(0, 4), 2);
              uint8_t two[2];
              aa_copy(nullptr, two, 2);
              EXPECT_NE(currentBuffer, chain);
              // Back to the first buffer: reading goes on across its end.
              aarestore();
              EXPECT_EQ(lev, 1);
              EXPECT_EQ(ber_getid(0, 4), 2);
              aa_copy(nullptr, two, 2);
              EXPECT_EQ(two[1], 0xBB);
              aa_leaveLevel();
              aamark();
              EXPECT_EQ(ber_chkend(), 1);
              rtp_prev_nesting();  // back into the SEQUENCE and past its end
              EXPECT_EQ(lev, 0);
              EXPECT_EQ(ber_chkend(), 1);
            }),
            0);
  freeChain(chain);
}

TEST_F(BerMark, UnknownElementsAreSkippedOnlyWithExtensibility) {
  // SEQUENCE { [9] (indefinite) { [1] 01, [2] (indefinite) {} }, [0] 07 }
  const Bytes in{0x30, 0x0E, 0xA9, 0x80, 0x81, 0x01, 0x01, 0xA2, 0x80, 0x00, 0x00, 0x00, 0x00, 0x80, 0x01, 0x07};
  for (uint32_t ext : {0u, 1u}) {
    SessionBuffer* chain = chainOf({in});
    aaextensibility = ext;
    uint32_t value = 0;
    const int32_t err = parse(chain, [&] {
      ber_getid(0, 16);
      while (ber_gettype() != 16384) aaextens(AAE_NOTINCHOICE);
      value = aGenericPtr();
      EXPECT_EQ(ber_chkend(), 1);
    });
    if (ext == 0) {
      EXPECT_EQ(err, 7);
      EXPECT_STREQ(aafile, "src/rtp_mng_");
    } else {
      EXPECT_EQ(err, 0);
      EXPECT_EQ(value, 7u);
    }
    freeChain(chain);
  }
}

// ---------------------------------------------------------------------------
// Test parse of a first segment

using BerPreEncodedTest = BerTest;

TEST_F(BerPreEncodedTest, LengthsPastTheSegmentAreAcceptedButNeverReadPast) {
  // SEQUENCE of 10 octets of which the segment holds 4: [0] AA BB, then 80.
  const Bytes in{0x30, 0x0A, 0x80, 0x02, 0xAA, 0xBB, 0x80};
  SessionBuffer* chain = chainOf({in});
  uint8_t* const start = chain->data;
  EXPECT_EQ(parse(chain, [] { ber_getid(0, 16); }), 25) << "without the test flag";
  rtp_testForPreEncoded = 1;
  SessionBuffer* torn = nullptr;
  EXPECT_EQ(parse(chain, [&] {
              EXPECT_EQ(ber_getid(0, 16), 10);
              EXPECT_EQ(ber_getid(0x80, 0), 2);
              uint8_t two[2];
              aa_copy(nullptr, two, 2);
              aa_leaveLevel();
              EXPECT_EQ(ber_chkend(), 0);
              torn = tearBufferFromCurrent();
              EXPECT_EQ(aapdu, start + 6) << "the tear only records the position";
            }),
            0);
  EXPECT_EQ(torn, chain);
  EXPECT_EQ(Bytes(torn->data, torn->data + torn->length), (Bytes{0x80}));
  // What lies past the segment is never reached.
  SessionBuffer* again = chainOf({in});
  EXPECT_EQ(parse(again, [] {
              ber_getid(0, 16);
              aa_skip();
            }),
            25);
  EXPECT_EQ(parse(again, [] {
              ber_getid(0, 16);
              while (ber_gettype() != 0) aa_skip();
            }),
            25);
  EXPECT_EQ(parse(again, [] {
              ber_getid(0, 16);
              ber_getid(0x80, 0);
              aa_skip();
              ber_getid(0x80, 0);  // 80 then nothing: its length is cut off
            }),
            25);
  rtp_testForPreEncoded = 0;
  freeChain(chain);
  freeChain(again);
}

// ---------------------------------------------------------------------------
// Dump

using BerDump = BerTest;

TEST_F(BerDump, ListsEveryElementWithItsContents) {
  SessionBuffer* chain = chainOf({{0x30, 0x09, 0x02, 0x01, 0x41, 0x06, 0x02, 0x2A, 0x03, 0x80, 0x00}});
  testing::internal::CaptureStdout();
  EXPECT_EQ(parse(chain, [] { display(); }), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "\nSEQUENCE (9 octets):"
            "\n   INTEGER (1 octets):"
            "\n   41 "
            "\n   A  "
            "\n   OBJECT IDENTIFIER (2 octets):"
            "\n    1 2 3"
            "\n   context-specific [0] (0 octets):"
            "\n");
  freeChain(chain);
}

}  // namespace
