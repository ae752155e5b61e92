// The clock: the wall clock and its monotonic twin behind one hook, and
// deadlines that saturate instead of wrapping.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "common/qvclock.h"
#include "support/clock.h"

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

TEST(QvClock, BothClocksFollowTheHookInWholeSeconds) {
  {
    ClockSteer clock;
    clock.set(0x7FFFFFFFL + 86400L, 999'999);  // past 2038
    EXPECT_EQ(QvTime(), 0x7FFFFFFFLL + 86400);
    EXPECT_EQ(QvMonoTime(), 0x7FFFFFFFLL + 86400);
    struct timeval tv {};
    QvMonoTimeOfDay(&tv);
    EXPECT_EQ(tv.tv_sec, 0x7FFFFFFFL + 86400L);
    EXPECT_EQ(tv.tv_usec, 999'999);
  }
  // Unhooked, the monotonic clock never goes back.
  const int64_t a = QvMonoTime();
  const int64_t b = QvMonoTime();
  EXPECT_GE(a, 0);
  EXPECT_GE(b, a);
  struct timeval tv {};
  QvMonoTimeOfDay(&tv);
  EXPECT_GE(tv.tv_sec, b);
  EXPECT_GE(tv.tv_usec, 0);
  EXPECT_LT(tv.tv_usec, 1'000'000);
}

TEST(QvClock, DeadlineSaturatesAtTheLimits) {
  struct Case {
    int64_t start;
    int64_t seconds;
    int64_t deadline;
  };
  const Case cases[] = {
      {1000, 3600, 4600},
      {0x7FFFFFFFLL, 3600, 0x7FFFFFFFLL + 3600},  // no clamp at the 32-bit limit
      {1000, -5, 995},
      {kMax - 10, 0x7FFFFFFF, kMax},
      {kMax, 1, kMax},
      {kMin + 3, -10, kMin},
  };
  for (const Case& c : cases) EXPECT_EQ(QvDeadline(c.start, c.seconds), c.deadline) << c.start << " + " << c.seconds;
}

}  // namespace
