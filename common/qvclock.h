// The one clock of the system. Time-dependent code (stopwatch, trace times,
// timers, time-outs) reads the time through here, so tests can steer it.
#pragma once

#include <sys/time.h>

using QvClockFn = void (*)(struct timeval*);

// NULL: the real clock (gettimeofday).
extern QvClockFn gQvClockHook;

void QvTimeOfDay(struct timeval* tv);
