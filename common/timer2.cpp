#include "common/timer2.h"

#include "common/qvclock.h"

TLSFamily<GutilTLS> gGutilTLS(&hSerializeGutilMutex,
                              TLSMissTrace{nullptr, 0, 9, "src/timer2", "Could not found Gutil TLS for %lX thread\n"});

int32_t initGutilTLS() { return gGutilTLS.init(); }
GutilTLS* getSpecificGutilTLS(uint64_t threadId, int32_t remove) { return gGutilTLS.get(threadId, remove); }
GutilTLS* getGutilTLS(int32_t remove) { return gGutilTLS.getOwn(remove); }
void removeGutilTLS() { gGutilTLS.remove(); }
void destroyGutilTLSCache() { gGutilTLS.destroyCache(); }

// The lock count is read on every re-entrant lock, also by threads that have
// no record (they degrade to a plain lock), so those lookups do not trace.
static GutilTLS* quietOwn() { return gGutilTLS.getOwn(0, false); }

int32_t QvGetGlobalMutexLockCount() {
  const GutilTLS* g = quietOwn();
  return g != nullptr ? g->globalLockCount : 0;
}

int32_t QvIncGlobalMutexLockCount() {
  GutilTLS* g = quietOwn();
  return g != nullptr ? ++g->globalLockCount : 0;
}

int32_t QvDecGlobalMutexLockCount() {
  GutilTLS* g = quietOwn();
  return g != nullptr ? --g->globalLockCount : 0;
}

void QvSetOsiError(int32_t err) {
  if (GutilTLS* g = getGutilTLS(0)) g->osiErrno = err;
}

int32_t QvGetOsiError() {
  const GutilTLS* g = getGutilTLS(0);
  return g != nullptr ? g->osiErrno : 0;
}

void timerStart() {
  GutilTLS* g = getGutilTLS(0);
  if (g == nullptr) return;
  timeval tv{};
  QvTimeOfDay(&tv);
  g->startSec = tv.tv_sec;
  g->startUsec = tv.tv_usec;
}

double timerStop() {
  GutilTLS* g = getGutilTLS(0);
  if (g == nullptr) return 0.0;
  timeval tv{};
  QvTimeOfDay(&tv);
  g->stopSec = tv.tv_sec;
  g->stopUsec = tv.tv_usec;
  return static_cast<double>(g->stopSec - g->startSec) + static_cast<double>(g->stopUsec - g->startUsec) * 0.000001;
}
