// The per-thread record pattern shared by every record family: a list of
// records keyed by thread id under the family mutex, and a cache of
// {thread id, record} slots that finds the caller's record without the lock.
//
// A record type used here begins with
//     uint64_t ownerThreadId;
//     TLSCacheSlot* cacheSlot;
// and carries a `next` link to the following record of its family.
#pragma once

#include <cstdint>
#include <new>

#include "common/qvthread.h"
#include "src/runtime/tm.h"

// How a family reports a lookup miss.
struct TLSMissTrace {
  const int32_t* handleVar;  // trace handle global of the layer, or NULL
  int32_t fixedHandle;       // handle used when handleVar is NULL
  uint32_t mask;
  const char* srcFile;
  const char* message;  // printf format taking the thread id (%lX)
};

template <class Rec>
struct TLSFamily {
  Rec* first = nullptr;                     // newest first
  std::atomic<TLSCache*> cache{nullptr};    // NULL until the first add
  std::atomic<int32_t> maxIndex{0};         // highest slot index ever used
  QvMutexHandle* mutex;                     // the family's serialising mutex
  TLSMissTrace miss;

  TLSFamily(QvMutexHandle* m, TLSMissTrace t) : mutex(m), miss(t) {}
  TLSFamily(const TLSFamily&) = delete;
  TLSFamily& operator=(const TLSFamily&) = delete;

  // Creates the calling thread's record, zero-filled; `prepare` may fill
  // further fields and refuse the record (false). 1 on success, else 0 with
  // nothing linked.
  int32_t init(bool (*prepare)(Rec*) = nullptr) {
    Rec* rec = new (std::nothrow) Rec{};
    if (rec == nullptr) return 0;
    rec->ownerThreadId = QvGetThreadId();
    if (prepare != nullptr && !prepare(rec)) {
      delete rec;
      return 0;
    }
    QvWaitForSingleObject(*mutex);
    rec->next = first;
    first = rec;
    int32_t slot = 0;
    TLSCache* c = addTLSIntoCache(cache.load(std::memory_order_acquire), rec->ownerThreadId, rec, &slot);
    if (c != nullptr) cache.store(c, std::memory_order_release);
    if (slot > 0) {
      rec->cacheSlot = &c[slot - 1];
      if (slot - 1 > maxIndex.load(std::memory_order_relaxed)) maxIndex.store(slot - 1, std::memory_order_release);
    }
    QvReleaseMutex(*mutex);
    return 1;
  }

  // The record of `threadId`; with `remove` set it is also unlinked from the
  // list and the cache. A miss is traced unless `traceMiss` is false (lookups
  // made while the trace mutex is held must not trace).
  Rec* get(uint64_t threadId, int32_t remove, bool traceMiss = true) {
    if (remove == 0) {
      const TLSCache* c = cache.load(std::memory_order_acquire);
      if (c != nullptr) {
        void* r = lookup(c, threadId);
        if (r != nullptr) return static_cast<Rec*>(r);
      }
    }
    QvWaitForSingleObject(*mutex);
    Rec* prev = nullptr;
    Rec* rec = first;
    while (rec != nullptr && rec->ownerThreadId != threadId) {
      prev = rec;
      rec = rec->next;
    }
    if (rec != nullptr && remove != 0) {
      if (prev != nullptr) prev->next = rec->next;
      else first = rec->next;
      rec->next = nullptr;
      if (rec->cacheSlot != nullptr) {
        // Clear the record's own slot: another record may carry the same id.
        rec->cacheSlot->record.store(nullptr, std::memory_order_release);
        rec->cacheSlot->threadId.store(0, std::memory_order_release);
        rec->cacheSlot = nullptr;
        tlsCacheChanged();
      }
    }
    QvReleaseMutex(*mutex);
    if (rec == nullptr && traceMiss) {
      const int32_t h = miss.handleVar != nullptr ? *miss.handleVar : miss.fixedHandle;
      TM_TRACE(h, miss.mask, miss.srcFile, miss.message, static_cast<unsigned long>(threadId));
    }
    return rec;
  }

  Rec* getOwn(int32_t remove, bool traceMiss = true) { return get(QvGetThreadId(), remove, traceMiss); }

  void remove() { delete get(QvGetThreadId(), 1); }

  // Frees the cache array; records stay on the list and lose their slot.
  void destroyCache() {
    QvWaitForSingleObject(*mutex);
    for (Rec* r = first; r != nullptr; r = r->next) r->cacheSlot = nullptr;
    TLSCache* c = cache.exchange(nullptr, std::memory_order_acq_rel);
    tlsCacheChanged();
    QvReleaseMutex(*mutex);
    freeTLSCache(c);
  }

 private:
  // What the calling thread last found in this family's cache. Every layer
  // looks its record up many times per unit of data, and a scan of the
  // cache reads a slot per thread ever started (slots other threads keep
  // writing to when they come and go); the record found last is given again
  // while no slot of any cache has changed since, which is what the scan
  // would give.
  struct Found {
    const TLSFamily* family;
    const TLSCache* cache;
    uint64_t threadId;
    uint64_t generation;
    void* record;
  };

  void* lookup(const TLSCache* c, uint64_t threadId) {
    static thread_local Found last{};
    const uint64_t generation = gTLSCacheGeneration.value.load(std::memory_order_acquire);
    if (last.family == this && last.cache == c && last.threadId == threadId && last.generation == generation)
      return last.record;
    void* r = getTLSFromCache(c, threadId, maxIndex.load(std::memory_order_acquire));
    if (r != nullptr) last = Found{this, c, threadId, generation, r};
    return r;
  }
};

// Writes a new owner id into a record and into its cache slot.
template <class Rec>
void tlsRekey(Rec* rec, uint64_t threadId) {
  if (rec == nullptr) return;
  rec->ownerThreadId = threadId;
  if (rec->cacheSlot != nullptr) {
    rec->cacheSlot->threadId.store(threadId, std::memory_order_release);
    tlsCacheChanged();
  }
}

// Writes a new owner id into a record's cache slot only: lookups through the
// cache then find it under that id, lookups through the list under its own.
template <class Rec>
void tlsRekeySlot(Rec* rec, uint64_t threadId) {
  if (rec == nullptr || rec->cacheSlot == nullptr) return;
  rec->cacheSlot->threadId.store(threadId, std::memory_order_release);
  tlsCacheChanged();
}

// Declares a family made only of the fields every record has. Layers that are
// not built yet keep their record in this minimal form until they add fields.
#define QV_DECLARE_MINIMAL_TLS(X)       \
  struct X##TLS {                       \
    uint64_t ownerThreadId;             \
    TLSCacheSlot* cacheSlot;            \
    X##TLS* next;                       \
  };                                    \
  extern TLSFamily<X##TLS> g##X##TLS;   \
  int32_t init##X##TLS();               \
  X##TLS* get##X##TLS(int32_t remove);  \
  void remove##X##TLS();                \
  void destroy##X##TLSCache();

// Defines a family's global and its named operations as thin wrappers.
#define QV_DEFINE_TLS_FAMILY(X, mutexVar, handleVarPtr, fixedHandle, mask, src, msg) \
  TLSFamily<X##TLS> g##X##TLS(&mutexVar, TLSMissTrace{handleVarPtr, fixedHandle, mask, src, msg}); \
  int32_t init##X##TLS() { return g##X##TLS.init(); }                                              \
  X##TLS* get##X##TLS(int32_t remove) { return g##X##TLS.getOwn(remove); }                        \
  void remove##X##TLS() { g##X##TLS.remove(); }                                                   \
  void destroy##X##TLSCache() { g##X##TLS.destroyCache(); }
