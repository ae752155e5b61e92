// hSerializeGlobalMutex in its re-entrant form for a scope: every entry of
// the presentation layer holds it for its whole run.
#pragma once

#include "common/qvthread.h"

class PsLock {
 public:
  PsLock() { QvCheckAndWaitForSingleObject(hSerializeGlobalMutex); }
  ~PsLock() { QvCheckAndReleaseMutex(hSerializeGlobalMutex); }
  PsLock(const PsLock&) = delete;
  PsLock& operator=(const PsLock&) = delete;
};
