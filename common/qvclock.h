// The one clock of the system. Time-dependent code (stopwatch, trace times,
// timers, time-outs) reads the time through here, so tests can steer it.
#pragma once

#include <cstdint>

#include <sys/time.h>

using QvClockFn = void (*)(struct timeval*);

// NULL: the real clock (gettimeofday, and time() for whole seconds).
extern QvClockFn gQvClockHook;

void QvTimeOfDay(struct timeval* tv);

// Whole seconds of wall-clock time, as time() gives them; through the hook
// when one is set.
int64_t QvTime();
