#include "common/qvthread.h"

#include <cerrno>
#include <cstdlib>
#include <new>

#include "common/timer2.h"
#include "src/runtime/tm.h"

namespace {
constexpr const char* kSrc = "common/qvthread";
}

int32_t QvMultiThread = 1;
uint64_t glMainThreadId = 0;

QvMutexHandle hSerializeGutraceMutex = nullptr;
QvMutexHandle hSerializeGlobalMutex = nullptr;
QvMutexHandle hSerializeLmoMutex = nullptr;
QvMutexHandle hSerializeTmMutex = nullptr;
QvMutexHandle hSerializeXmMutex = nullptr;
QvMutexHandle hSerializeSystemMutex = nullptr;
QvMutexHandle hSerializeGutilMutex = nullptr;
QvMutexHandle hSerializeRdaCliMutex = nullptr;
QvMutexHandle hSerializeRdaAseMutex = nullptr;
QvMutexHandle hSerializeAcseAseMutex = nullptr;
QvMutexHandle hSerializeAlMutex = nullptr;
QvMutexHandle hSerializeRdaAeMutex = nullptr;
QvMutexHandle hSerializeRdaSacfMutex = nullptr;
QvMutexHandle hSerializeRdaSurMutex = nullptr;
QvMutexHandle hSerializeAcseMutex = nullptr;
QvMutexHandle hSerializeSessionMutex = nullptr;
QvSemHandle hSerializeConnectSem = nullptr;

// ---------------------------------------------------------------------------
// Thread identity and threads

void QvSetMultiThread(int32_t value) { QvMultiThread = value; }
int32_t QvIsMultiThreaded() { return QvMultiThread != 0 ? 1 : 0; }

uint64_t QvGetThreadId() {
  return QvMultiThread != 0 ? static_cast<uint64_t>(pthread_self()) : glMainThreadId;
}

QvThreadHandle QvGetThreadHandle() { return static_cast<uint64_t>(pthread_self()); }

QvThreadHandle QvCreateThread(void* (*start)(void*), void* arg) {
  pthread_t t{};
  const int rc = pthread_create(&t, nullptr, start, arg);
  const QvThreadHandle h = rc == 0 ? static_cast<uint64_t>(t) : 0;
  TM_TRACE(QvThreadTraceHandle, 16, kSrc, "Thread created with ID = %lX , return code = %d\n",
           static_cast<unsigned long>(h), rc);
  if (rc != 0) {
    TM_TRACE(QvThreadTraceHandle, 8, kSrc, "Thread creation error\n");
    return 0;
  }
  return h;
}

int32_t QvJoinThread(QvThreadHandle h) {
  TM_TRACE(QvThreadTraceHandle, 16, kSrc, "Thread join called for ID = %lX", static_cast<unsigned long>(h));
  const int rc = pthread_join(static_cast<pthread_t>(h), nullptr);
  TM_TRACE(QvThreadTraceHandle, 16, kSrc, "Thread join returned with code = %d\n", rc);
  return 0;
}

int32_t QvDetachThread(QvThreadHandle h) {
  TM_TRACE(QvThreadTraceHandle, 16, kSrc, "Thread detach called for ID = %lX", static_cast<unsigned long>(h));
  const int rc = pthread_detach(static_cast<pthread_t>(h));
  TM_TRACE(QvThreadTraceHandle, 16, kSrc, "Thread detached , return code = %d\n", rc);
  return rc;
}

void QvExitThread() { pthread_exit(nullptr); }
int32_t QvCloseThreadHandle(QvThreadHandle) { return 1; }
int32_t QvSuspendThread(QvThreadHandle) { return 0; }
int32_t QvResumeThread(QvThreadHandle) { return 0; }

// ---------------------------------------------------------------------------
// Mutexes

QvMutexHandle QvCreateMutex() {
  auto* h = static_cast<QvMutex*>(std::calloc(1, sizeof(QvMutex)));
  if (h == nullptr) return nullptr;
  if (pthread_mutex_init(&h->m, nullptr) != 0) {
    std::free(h);
    return nullptr;
  }
  return h;
}

int32_t QvDestroyMutex(QvMutexHandle h) {
  if (h == nullptr) return EINVAL;
  const int rc = pthread_mutex_destroy(&h->m);
  std::free(h);
  return rc;
}

static int32_t lockAlways(QvMutexHandle h) { return h == nullptr ? EINVAL : pthread_mutex_lock(&h->m); }
static int32_t unlockAlways(QvMutexHandle h) { return h == nullptr ? EINVAL : pthread_mutex_unlock(&h->m); }

int32_t QvWaitForSingleObject(QvMutexHandle h) { return QvMultiThread != 0 ? lockAlways(h) : 0; }
int32_t QvReleaseMutex(QvMutexHandle h) { return QvMultiThread != 0 ? unlockAlways(h) : 0; }
int32_t QvWaitForThreadSafeObject(QvMutexHandle h) { return lockAlways(h); }
int32_t QvReleaseThreadSafeMutex(QvMutexHandle h) { return unlockAlways(h); }

// Re-entrant lock: a thread holds the global mutex once however deeply its
// calls nest; its depth is counted in its GutilTLS record. Other handles get
// a plain lock. A thread without the record degrades to a plain lock.
int32_t QvCheckAndWaitForSingleObject(QvMutexHandle h) {
  if (QvMultiThread == 0) return 0;
  const bool global = QvIsGlobalMutex(h) != 0;
  int32_t rc = 0;
  if (!global || QvGetGlobalMutexLockCount() == 0) rc = lockAlways(h);
  if (global) QvIncGlobalMutexLockCount();
  return rc;
}

int32_t QvCheckAndReleaseMutex(QvMutexHandle h) {
  if (QvMultiThread == 0) return 0;
  if (QvIsGlobalMutex(h) != 0 && QvDecGlobalMutexLockCount() != 0) return 0;
  return unlockAlways(h);
}

// ---------------------------------------------------------------------------
// Semaphores

QvSemHandle QvCreateSem(int32_t initiallyTaken) {
  auto* h = static_cast<QvSem*>(std::calloc(1, sizeof(QvSem)));
  if (h == nullptr) return nullptr;
  if (sem_init(&h->s, 0, initiallyTaken == 0 ? 1 : 0) != 0) {
    TM_TRACE(QvThreadTraceHandle, 16, kSrc, "Could not inititialize semaphore.\n");
    std::free(h);
    return nullptr;
  }
  return h;
}

int32_t QvDestroySem(QvSemHandle h) {
  if (h == nullptr) return EINVAL;
  const int rc = sem_destroy(&h->s);
  if (rc != 0) TM_TRACE(QvThreadTraceHandle, 16, kSrc, "Could not destroy semaphore.\n");
  std::free(h);
  return rc;
}

int32_t QvWaitOnSem(QvSemHandle h) {
  if (QvMultiThread == 0) return 0;
  if (h == nullptr) return EINVAL;
  int rc;
  do {
    rc = sem_wait(&h->s);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) TM_TRACE(QvThreadTraceHandle, 16, kSrc, "Could not wait on semaphore.\n");
  return rc;
}

int32_t QvReleaseSem(QvSemHandle h) {
  if (QvMultiThread == 0) return 0;
  if (h == nullptr) return EINVAL;
  const int rc = sem_post(&h->s);
  if (rc != 0) TM_TRACE(QvThreadTraceHandle, 16, kSrc, "Could not signal semaphore.\n");
  return rc;
}

// ---------------------------------------------------------------------------
// Per-thread record cache

TLSCacheGeneration gTLSCacheGeneration;

TLSCache* addTLSIntoCache(TLSCache* cache, uint64_t threadId, void* record, int32_t* slot) {
  if (slot != nullptr) *slot = 0;
  if (cache == nullptr) {
    cache = new (std::nothrow) TLSCacheSlot[static_cast<size_t>(iTLSCacheSize)]();
    if (cache == nullptr) return nullptr;
  }
  for (int32_t i = 0; i < iTLSCacheSize; ++i) {
    if (cache[i].record.load(std::memory_order_acquire) == nullptr) {
      cache[i].threadId.store(threadId, std::memory_order_release);
      cache[i].record.store(record, std::memory_order_release);
      tlsCacheChanged();
      if (slot != nullptr) *slot = i + 1;
      break;
    }
  }
  return cache;
}

void* getTLSFromCache(const TLSCache* cache, uint64_t threadId, int32_t highestIndex) {
  if (cache == nullptr || highestIndex < 0) return nullptr;
  if (highestIndex >= iTLSCacheSize) highestIndex = iTLSCacheSize - 1;
  for (int32_t i = highestIndex; i >= 0; --i) {
    if (cache[i].threadId.load(std::memory_order_acquire) == threadId)
      return cache[i].record.load(std::memory_order_acquire);
  }
  return nullptr;
}

void removeTLSFromCache(TLSCache* cache, uint64_t threadId, int32_t highestIndex) {
  if (cache == nullptr || highestIndex < 0) return;
  if (highestIndex >= iTLSCacheSize) highestIndex = iTLSCacheSize - 1;
  for (int32_t i = highestIndex; i >= 0; --i) {
    if (cache[i].threadId.load(std::memory_order_acquire) == threadId) {
      cache[i].record.store(nullptr, std::memory_order_release);
      cache[i].threadId.store(0, std::memory_order_release);
      tlsCacheChanged();
      return;
    }
  }
}

void freeTLSCache(TLSCache* cache) { delete[] cache; }
