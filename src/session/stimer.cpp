#include "src/session/stimer.h"

#include <new>

#include "common/qvclock.h"
#include "src/runtime/tm.h"
#include "src/session/session.h"
#include "src/session/spm.h"

namespace {

constexpr const char* kSrc = "src/stimer";

// Deadlines are kept well inside int64 so that deltas and their sums never
// overflow, whatever a caller asks for or the clock says.
constexpr int64_t kDeadlineLimit = int64_t{1} << 60;

int64_t clampDeadline(int64_t v) {
  if (v > kDeadlineLimit) return kDeadlineLimit;
  if (v < -kDeadlineLimit) return -kDeadlineLimit;
  return v;
}

int64_t elapsedSince(int64_t now, int64_t then) {
  int64_t d = 0;
  if (__builtin_sub_overflow(now, then, &d)) return now < then ? -kDeadlineLimit : kDeadlineLimit;
  return clampDeadline(d);
}

TimerEntry* entry(TimerLink* l) { return static_cast<TimerEntry*>(l); }

// The thread's queue head, made empty when the record has never had one.
TimerLink* queueOf(SystemTLS* sys) {
  TimerLink* head = &sys->timerQueue;
  if (head->next == nullptr || head->prev == nullptr) {
    head->next = head->prev = head;
    sys->timerRefTime = QvTime();
  }
  return head;
}

void unlink(TimerLink* l) {
  l->prev->next = l->next;
  l->next->prev = l->prev;
  l->next = l->prev = l;
}

uint32_t stimExpired(uint64_t owner, uint32_t, uint64_t, uint32_t) {
  return STIMres(reinterpret_cast<Smachine*>(owner));
}

}  // namespace

void timer_dropQueue(SystemTLS* sys) {
  if (sys == nullptr) return;
  TimerLink* head = &sys->timerQueue;
  if (head->next == nullptr) return;
  TimerLink* l = head->next;
  while (l != head) {
    TimerLink* following = l->next;
    delete entry(l);
    l = following;
  }
  head->next = head->prev = head;
}

int64_t init_timers() {
  const int64_t now = QvTime();
  SystemTLS* sys = getSystemTLS(0);
  if (sys == nullptr) return now;
  timer_dropQueue(sys);
  sys->timerQueue.next = sys->timerQueue.prev = &sys->timerQueue;
  sys->timerRefTime = now;
  return now;
}

void newtimer(uint64_t owner, uint32_t id, int64_t seconds, uint64_t arg, uint32_t arg2, TimerCallback callback) {
  SystemTLS* sys = getSystemTLS(0);
  if (sys == nullptr) return;
  TimerLink* head = queueOf(sys);
  const int64_t elapsed = elapsedSince(QvTime(), sys->timerRefTime);
  const int64_t d = clampDeadline(clampDeadline(seconds) + elapsed);

  // Stop at the first entry that runs out strictly later than the new one.
  int64_t sum = 0;
  TimerLink* at = head->next;
  for (; at != head; at = at->next) {
    sum += entry(at)->delta;
    if (d < sum) break;
  }
  auto* e = new (std::nothrow) TimerEntry{};
  if (e == nullptr) return;
  if (at == head) {
    e->delta = d - sum;
  } else {
    e->delta = d - (sum - entry(at)->delta);
    entry(at)->delta -= e->delta;  // its deadline stays where it was
  }
  e->next = at;
  e->prev = at->prev;
  at->prev->next = e;
  at->prev = e;
  e->owner = owner;
  e->id = id;
  e->arg = arg;
  e->arg2 = arg2;
  e->callback = callback;
}

void cantimer(uint64_t owner, uint32_t id, uint64_t arg) {
  SystemTLS* sys = getSystemTLS(0);
  if (sys == nullptr || sys->timerQueue.next == nullptr) return;
  TimerLink* head = &sys->timerQueue;
  for (TimerLink* l = head->next; l != head;) {
    TimerLink* following = l->next;
    TimerEntry* e = entry(l);
    const bool match =
        e->owner == owner && (id == kTimerAnyId || (e->id == id && (arg == kTimerAnyArg || e->arg == arg)));
    if (match) {
      if (following != head) entry(following)->delta += e->delta;
      unlink(l);
      delete e;
    }
    l = following;
  }
}

void do_timer_queue() {
  SystemTLS* sys = getSystemTLS(0);
  if (sys == nullptr || sys->timerQueue.next == nullptr) return;
  TimerLink* head = &sys->timerQueue;
  const int64_t now = QvTime();
  const int64_t elapsed = elapsedSince(now, sys->timerRefTime);
  if (elapsed > 0) {
    sys->timerRefTime = now;
    if (head->next != head) entry(head->next)->delta -= elapsed;
  }
  // Callbacks may start or cancel timers: read the first entry afresh each time.
  while (head->next != head && entry(head->next)->delta <= 0) {
    TimerEntry* e = entry(head->next);
    if (e->next != head) entry(e->next)->delta += e->delta;  // the overshoot carries over
    unlink(e);
    if (e->callback != nullptr) (void)e->callback(e->owner, e->id, e->arg, e->arg2);
    delete e;
  }
}

void STIMreq(Smachine* s, int64_t seconds) {
  newtimer(reinterpret_cast<uint64_t>(s), 0, seconds, 0, 0, stimExpired);
}

void STIMcan(Smachine* s) { cantimer(reinterpret_cast<uint64_t>(s), kTimerAnyId, kTimerAnyArg); }

uint32_t STIMres(Smachine* s) {
  TM_TRACE(sess_TM_handle, 128, kSrc, "STIMres: s=%lx\n", reinterpret_cast<unsigned long>(s));
  return s_fsm(s, nullptr, s->state, kEvTimer);
}
