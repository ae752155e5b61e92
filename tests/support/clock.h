// Steers the system clock hook for the lifetime of the object.
#pragma once

#include "common/qvclock.h"

class ClockSteer {
 public:
  ClockSteer() { gQvClockHook = &ClockSteer::read; }
  ~ClockSteer() { gQvClockHook = nullptr; }
  void set(long sec, long usec) {
    now_.tv_sec = sec;
    now_.tv_usec = usec;
  }

 private:
  static void read(struct timeval* tv) { *tv = now_; }
  static inline struct timeval now_ {};
};
