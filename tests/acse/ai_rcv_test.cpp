// The receive loop: what it takes from the queue, how often it pumps the
// stack, and when it gives up, with the pump and the clock steered.
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <thread>

#include "src/acse/ai_rcv.h"
#include "src/acse/al_trace.h"
#include "src/acse/gidu.h"
#include "src/acse/gidu_queue.h"
#include "src/session/tpi.h"
#include "support/clock.h"
#include "support/trace_capture.h"
#include "support/xm_count.h"

namespace {

// The pump stand-in: counts its calls and runs the test's step.
int gPumps = 0;
std::function<int32_t(int)> gStep;  // gets the call number (from 1)

int32_t countingPump() {
  ++gPumps;
  return gStep ? gStep(gPumps) : 0;
}

class ReceiveLoop : public XmCountTest {
 protected:
  void SetUp() override {
    XmCountTest::SetUp();
    al_selfLink(&queue);
    gPumps = 0;
    gStep = nullptr;
    gAiPump = countingPump;
  }
  void TearDown() override {
    gAiPump = do_session_queue;
    gStep = nullptr;
    while (GIDU* g = al_queueTake(&queue)) al_deleteGidu(g);
    XmCountTest::TearDown();
  }
  // Queues a new GIDU of the given event, as a receive entry does.
  GIDU* arrive(uint32_t event = AL_ACT_CNF) {
    GIDU* g = al_createGidu(nullptr, AL_IDU_NONE, event);
    al_queueAppend(&queue, g);
    return g;
  }
  GIDU queue{};
};

TEST(ReceiveLoopPump, DrivesTheSessionQueueUnlessReplaced) { EXPECT_EQ(gAiPump, &do_session_queue); }

TEST_F(ReceiveLoop, GiduQueuedAtEntryIsReturnedWithoutPumping) {
  for (int32_t timeout : {0, 5, -1}) {
    GIDU* first = arrive();
    GIDU* second = arrive(AL_DEACT_CNF);
    int32_t status = 77;
    GIDU* g = ai_do_rcv(&queue, timeout, &status);
    EXPECT_EQ(g, first) << timeout;
    EXPECT_EQ(g->next, g) << "unlinked and self-linked";
    EXPECT_EQ(g->prev, g);
    EXPECT_EQ(queue.next, second) << "the rest stays queued";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(gPumps, 0);
    al_deleteGidu(g);
    al_deleteGidu(al_queueTake(&queue));
  }
}

TEST_F(ReceiveLoop, TimeoutZeroPumpsExactlyOnce) {
  ClockSteer clock;
  clock.set(1000, 0);
  int32_t status = 77;
  EXPECT_EQ(ai_do_rcv(&queue, 0, &status), nullptr);
  EXPECT_EQ(gPumps, 1);
  EXPECT_EQ(status, 0);

  // What that single pump queued is taken, with the pump's result.
  gPumps = 0;
  GIDU* came = nullptr;
  gStep = [&](int) {
    came = arrive();
    return 2;
  };
  GIDU* g = ai_do_rcv(&queue, 0, &status);
  EXPECT_EQ(g, came);
  EXPECT_EQ(gPumps, 1);
  EXPECT_EQ(status, 2);
  al_deleteGidu(g);
  gStep = nullptr;
  EXPECT_EQ(ai_do_rcv(&queue, 0, nullptr), nullptr) << "status is optional";
}

TEST_F(ReceiveLoop, FailingPumpEndsTheWaitAtOnceWithItsStatus) {
  ClockSteer clock;
  clock.set(1000, 0);
  TraceCapture trace({{&al_comTMHandle, "AL  : ", AL_TL_RESULT}});
  for (int32_t timeout : {0, 3600}) {
    gPumps = 0;
    gStep = [](int) { return -1; };
    int32_t status = 0;
    EXPECT_EQ(ai_do_rcv(&queue, timeout, &status), nullptr) << timeout;
    EXPECT_EQ(status, -1);
    EXPECT_EQ(gPumps, 1);
  }
  EXPECT_EQ(trace.count("ai_do_rcv() do_session_queue() returned with error"), 2u);
  EXPECT_TRUE(trace.contains("ai_do_rcv() terminated with time = 0, q_element = <0>"));

  // An answer the failing pump still delivered is not lost.
  gPumps = 0;
  GIDU* came = nullptr;
  gStep = [&](int) {
    came = arrive();
    return -1;
  };
  int32_t status = 0;
  GIDU* g = ai_do_rcv(&queue, 3600, &status);
  EXPECT_EQ(g, came);
  EXPECT_EQ(status, -1);
  al_deleteGidu(g);
}

TEST_F(ReceiveLoop, PumpsUntilAnAnswerIsQueued) {
  ClockSteer clock;
  clock.set(1000, 0);
  GIDU* came = nullptr;
  gStep = [&](int n) {
    if (n == 4) came = arrive();
    return 1;
  };
  int32_t status = 0;
  GIDU* g = ai_do_rcv(&queue, 30, &status);
  EXPECT_EQ(g, came);
  EXPECT_EQ(gPumps, 4);
  EXPECT_EQ(status, 1) << "the last pump's result";
  al_deleteGidu(g);
}

// Each pump moves the steered clock on by `stepUsec`; the wait ends once
// its whole number of seconds has passed since it started.
TEST_F(ReceiveLoop, DeadlineInWholeSecondsOfAClockThatNeitherWrapsNorClamps) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  struct Case {
    const char* what;
    int64_t startSec;
    long startUsec;
    long stepUsec;
    int32_t timeout;
    int pumps;
  };
  const Case cases[] = {
      {"before 2038", 1'700'000'000, 0, 1'000'000, 3, 3},
      {"after 2038 the wait still lasts its time", 0x7FFFFFFFLL + 1000, 0, 1'000'000, 3, 3},
      {"far in the future", 0x7FFFFFFFFFFLL, 0, 1'000'000, 5, 5},
      {"1 s started late in a second still lasts 1 s", 500, 900'000, 250'000, 1, 4},
      {"to the microsecond", 500, 999'999, 1'000, 1, 1'000},
      {"2 s from mid-second", 500, 500'000, 500'000, 2, 4},
      {"a huge time-out near the clock's end saturates", kMax - 5, 0, 1'000'000,
       std::numeric_limits<int32_t>::max(), 5},
      {"a negative time-out is one attempt", 500, 0, 1'000'000, -7, 1},
  };
  ClockSteer clock;
  for (const Case& c : cases) {
    int64_t sec = c.startSec;
    long usec = c.startUsec;
    clock.set(static_cast<long>(sec), usec);
    gPumps = 0;
    gStep = [&](int) {
      usec += c.stepUsec;
      sec += usec / 1'000'000;
      usec %= 1'000'000;
      clock.set(static_cast<long>(sec), usec);
      return 0;
    };
    int32_t status = 77;
    EXPECT_EQ(ai_do_rcv(&queue, c.timeout, &status), nullptr) << c.what;
    EXPECT_EQ(gPumps, c.pumps) << c.what;
    EXPECT_EQ(status, 0) << c.what;
  }
}

TEST_F(ReceiveLoop, RealClockEndsAOneSecondWait) {
  gStep = [](int) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return 0;
  };
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(ai_do_rcv(&queue, 1, nullptr), nullptr);
  const auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(gPumps, 1);
  EXPECT_GE(took, std::chrono::seconds(1)) << "a wait lasts at least its time";
  EXPECT_LT(took, std::chrono::milliseconds(2500));
}

}  // namespace
