// Per-thread timers in whole seconds, and the session timer on top of them.
//
// The queue lives in the thread's SystemTLS: a circular delta list ordered by
// deadline, whose first entry counts from the queue's reference time and
// every later entry from the deadline of the one before it. Nothing runs in
// the background: the session event loop calls do_timer_queue after each
// poll of the transport, and every entry whose deadline has been reached
// fires then, in deadline order (equal deadlines in the order they were set).
// Time comes from QvTime (common/qvclock.h).
#pragma once

#include <cstdint>

#include "src/session/systemtls.h"

struct Smachine;

// Called when a timer runs out; the result is ignored.
using TimerCallback = uint32_t (*)(uint64_t owner, uint32_t id, uint64_t arg, uint32_t arg2);

struct TimerEntry : TimerLink {
  uint64_t owner;          // who the timer belongs to (session: the Smachine)
  TimerCallback callback;
  int64_t delta;           // seconds after the previous entry's deadline
  uint32_t id;             // caller's timer number
  uint64_t arg;
  uint32_t arg2;
};

inline constexpr uint32_t kTimerAnyId = 0xFFFFFFFFu;       // cantimer: every id
inline constexpr uint64_t kTimerAnyArg = ~uint64_t{0};     // cantimer: every arg

// Session timer durations.
inline constexpr int64_t kStimIdle = 60;     // idle transport connection (STA01C)
inline constexpr int64_t kStimRelease = 10;  // waiting for the transport to go (STA16)

// Empties the thread's queue (freeing what was still queued) and sets its
// reference time to now; returns now.
int64_t init_timers();
// Adds a timer that runs out `seconds` from now; silently not set when no
// entry can be had or the thread has no SystemTLS.
void newtimer(uint64_t owner, uint32_t id, int64_t seconds, uint64_t arg, uint32_t arg2, TimerCallback callback);
// Removes, without calling them, the owner's timers with `id` (kTimerAnyId:
// all of them, whatever `arg`) and `arg` (kTimerAnyArg: any).
void cantimer(uint64_t owner, uint32_t id, uint64_t arg);
// Advances the queue to now and fires every timer that has run out.
void do_timer_queue();

// The session timer of a connection: start, cancel every one, and the expiry
// callback, which feeds event 38 to the protocol machine.
void STIMreq(Smachine* s, int64_t seconds);
void STIMcan(Smachine* s);
uint32_t STIMres(Smachine* s);

// Frees every entry of a queue (used when its record goes away).
void timer_dropQueue(SystemTLS* sys);
