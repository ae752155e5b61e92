#include "common/qvclock.h"

#include <ctime>

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
