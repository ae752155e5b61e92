#include "common/qvclock.h"

#include <ctime>
#include <limits>

QvClockFn gQvClockHook = nullptr;

void QvTimeOfDay(struct timeval* tv) {
  if (gQvClockHook != nullptr) {
    gQvClockHook(tv);
    return;
  }
  gettimeofday(tv, nullptr);
}

int64_t QvTime() {
  if (gQvClockHook != nullptr) {
    struct timeval tv {};
    gQvClockHook(&tv);
    return static_cast<int64_t>(tv.tv_sec);
  }
  return static_cast<int64_t>(std::time(nullptr));
}

int64_t QvMonoTime() {
  if (gQvClockHook != nullptr) {
    struct timeval tv {};
    gQvClockHook(&tv);
    return static_cast<int64_t>(tv.tv_sec);
  }
  struct timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec);
}

void QvMonoTimeOfDay(struct timeval* tv) {
  if (gQvClockHook != nullptr) {
    gQvClockHook(tv);
    return;
  }
  struct timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  tv->tv_sec = ts.tv_sec;
  tv->tv_usec = ts.tv_nsec / 1000;
}

int64_t QvDeadline(int64_t start, int64_t seconds) {
  int64_t sum = 0;
  if (!__builtin_add_overflow(start, seconds, &sum)) return sum;
  return seconds > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}
