// Thread, mutex and semaphore wrappers with the process-wide multi-threading
// switch, and the per-thread record cache shared by every record family.
#pragma once

#include <atomic>
#include <cstdint>

#include <pthread.h>
#include <semaphore.h>

// ---------------------------------------------------------------------------
// Handles

struct QvMutex {
  pthread_mutex_t m;
};
struct QvSem {
  sem_t s;
};
using QvMutexHandle = QvMutex*;  // 0 = no mutex
using QvSemHandle = QvSem*;      // 0 = no semaphore
using QvThreadHandle = uint64_t; // pthread_t as an integer; 0 = no thread

// ---------------------------------------------------------------------------
// Multi-threading switch and thread identity

extern int32_t QvMultiThread;  // initial 1 (on)
extern uint64_t glMainThreadId;

void QvSetMultiThread(int32_t value);
int32_t QvIsMultiThreaded();

uint64_t QvGetThreadId();
QvThreadHandle QvGetThreadHandle();
QvThreadHandle QvCreateThread(void* (*start)(void*), void* arg);
int32_t QvJoinThread(QvThreadHandle h);
int32_t QvDetachThread(QvThreadHandle h);
[[noreturn]] void QvExitThread();
int32_t QvCloseThreadHandle(QvThreadHandle h);
int32_t QvSuspendThread(QvThreadHandle h);
int32_t QvResumeThread(QvThreadHandle h);

// ---------------------------------------------------------------------------
// Mutexes and semaphores. Every call tolerates a 0 handle and then answers
// EINVAL without touching anything.

QvMutexHandle QvCreateMutex();
int32_t QvDestroyMutex(QvMutexHandle h);
int32_t QvWaitForSingleObject(QvMutexHandle h);
int32_t QvReleaseMutex(QvMutexHandle h);
int32_t QvWaitForThreadSafeObject(QvMutexHandle h);
int32_t QvReleaseThreadSafeMutex(QvMutexHandle h);
int32_t QvCheckAndWaitForSingleObject(QvMutexHandle h);
int32_t QvCheckAndReleaseMutex(QvMutexHandle h);

// Holds a mutex in its re-entrant (check-and-wait) form for a scope.
class QvCheckedLock {
 public:
  explicit QvCheckedLock(QvMutexHandle h) : h_(h) { QvCheckAndWaitForSingleObject(h_); }
  ~QvCheckedLock() { QvCheckAndReleaseMutex(h_); }
  QvCheckedLock(const QvCheckedLock&) = delete;
  QvCheckedLock& operator=(const QvCheckedLock&) = delete;

 private:
  QvMutexHandle h_;
};

QvSemHandle QvCreateSem(int32_t initiallyTaken);
int32_t QvDestroySem(QvSemHandle h);
int32_t QvWaitOnSem(QvSemHandle h);
int32_t QvReleaseSem(QvSemHandle h);

// The process mutexes, created by QvCreateMutexes in the order listed.
extern QvMutexHandle hSerializeGutraceMutex;
extern QvMutexHandle hSerializeGlobalMutex;
extern QvMutexHandle hSerializeLmoMutex;
extern QvMutexHandle hSerializeTmMutex;
extern QvMutexHandle hSerializeXmMutex;
extern QvMutexHandle hSerializeSystemMutex;
extern QvMutexHandle hSerializeGutilMutex;
extern QvMutexHandle hSerializeRdaCliMutex;
extern QvMutexHandle hSerializeRdaAseMutex;
extern QvMutexHandle hSerializeAcseAseMutex;
extern QvMutexHandle hSerializeAlMutex;
extern QvMutexHandle hSerializeRdaAeMutex;
extern QvMutexHandle hSerializeRdaSacfMutex;
extern QvMutexHandle hSerializeRdaSurMutex;
extern QvMutexHandle hSerializeAcseMutex;
extern QvMutexHandle hSerializeSessionMutex;
extern QvSemHandle hSerializeConnectSem;

// Whether `h` is the global mutex that the re-entrant lock counts. The
// process-mutex registry (qvmutexes.cpp) answers it; a program that links
// these wrappers without the registry defines its own.
int32_t QvIsGlobalMutex(QvMutexHandle h);

// Holds hSerializeGlobalMutex in its re-entrant form for a scope: a thread
// may nest guards, and the mutex is free again when the outermost one ends.
class QvGlobalLock : public QvCheckedLock {
 public:
  QvGlobalLock() : QvCheckedLock(hSerializeGlobalMutex) {}
};

// Trace handle of the thread wrappers and the wide-string conversions.
inline constexpr int32_t QvThreadTraceHandle = 1;

// ---------------------------------------------------------------------------
// Per-thread record cache.
//
// A slot is two words; a lookup reads them without a lock while another
// thread may be filling or clearing a different slot, so both are atomics.
// Writers store the id before the record (release) and clear the record
// first; a reader that sees its id with a 0 record treats it as a miss.

struct TLSCacheSlot {
  std::atomic<uint64_t> threadId;
  std::atomic<void*> record;
};
using TLSCache = TLSCacheSlot;

inline constexpr int32_t iTLSCacheSize = 100;  // slots per family cache

// Stores the pair in the lowest free slot; *slot gets index + 1, or 0 when the
// cache is full (or could not be allocated). Returns the cache, allocated when
// `cache` was NULL; NULL only when that allocation failed.
TLSCache* addTLSIntoCache(TLSCache* cache, uint64_t threadId, void* record, int32_t* slot);
void* getTLSFromCache(const TLSCache* cache, uint64_t threadId, int32_t highestIndex);
void removeTLSFromCache(TLSCache* cache, uint64_t threadId, int32_t highestIndex);
void freeTLSCache(TLSCache* cache);

// Counts every change of which thread id a slot of any family's cache
// holds (records added, removed or re-keyed, caches freed). A thread that
// remembers the record it found last trusts it only while the count is
// unchanged. Every lookup reads the count: it fills a cache line of its
// own, so that writes to neighbouring data do not take the line away.
struct alignas(64) TLSCacheGeneration {
  std::atomic<uint64_t> value{0};
};
extern TLSCacheGeneration gTLSCacheGeneration;
inline void tlsCacheChanged() { gTLSCacheGeneration.value.fetch_add(1, std::memory_order_acq_rel); }
