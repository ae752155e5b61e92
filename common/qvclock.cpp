#include "common/qvclock.h"

QvClockFn gQvClockHook = nullptr;

void QvTimeOfDay(struct timeval* tv) {
  if (gQvClockHook != nullptr) {
    gQvClockHook(tv);
    return;
  }
  gettimeofday(tv, nullptr);
}
