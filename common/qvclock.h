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

// Whole seconds of a clock that only moves forward (CLOCK_MONOTONIC), for
// deadlines: setting the wall clock neither ends a wait early nor stretches
// it. Through the same hook as QvTime when one is set, so a test steers both.
int64_t QvMonoTime();

// The same monotonic clock to the microsecond, for waits that must last their
// whole time however late in a second they start. Through the same hook.
void QvMonoTimeOfDay(struct timeval* tv);

// `start` + `seconds`, held at the int64_t limits instead of overflowing:
// a deadline that saturates rather than wrapping into the past.
int64_t QvDeadline(int64_t start, int64_t seconds);
