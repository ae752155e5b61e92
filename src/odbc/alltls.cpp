#include "src/odbc/alltls.h"

#include <iterator>

#include "src/runtime/gutrace.h"
#include "src/session/tp0tcp.h"

namespace {

constexpr const char* kSrc = "src/alltls";

struct FamilyOps {
  const char* initName;
  int32_t (*init)();
  bool (*has)();  // the calling thread has a record of the family
};

template <auto& Family>
bool hasOwn() {
  return Family.getOwn(0, false) != nullptr;
}

constexpr FamilyOps kCreateOrder[] = {
    {"initLmoTLS", initLmoTLS, hasOwn<gLmoTLS>},
    {"initXmTLS", initXmTLS, hasOwn<gXmTLS>},
    {"initGutilTLS", initGutilTLS, hasOwn<gGutilTLS>},
    {"initRdaCliTLS", initRdaCliTLS, hasOwn<gRdaCliTLS>},
    {"initAlTLS", initAlTLS, hasOwn<gAlTLS>},
    {"initSystemTLS", initSystemTLS, hasOwn<gSystemTLS>},
    {"initRdaAseTLS", initRdaAseTLS, hasOwn<gRdaAseTLS>},
    {"initAcseAseTLS", initAcseAseTLS, hasOwn<gAcseAseTLS>},
    {"initRdaAeTLS", initRdaAeTLS, hasOwn<gRdaAeTLS>},
    {"initRdaSacfTLS", initRdaSacfTLS, hasOwn<gRdaSacfTLS>},
    {"initRdaSurTLS", initRdaSurTLS, hasOwn<gRdaSurTLS>},
    {"initAcseTLS", initAcseTLS, hasOwn<gAcseTLS>},
    {"initSessionTLS", initSessionTLS, hasOwn<gSessionTLS>},
};

int32_t create(bool onlyMissing) {
  for (const FamilyOps& f : kCreateOrder) {
    if (onlyMissing && f.has()) continue;
    if (f.init() == 0) {
      TR_TRACE(kSrc, htrODBC, 2, "%s() returned error. Driver initialization has failed.", f.initName);
      return 0;
    }
  }
  return 1;
}

// Applies `op` to each record of a set, in set order.
template <class Op>
void eachRecord(AllTLS* set, Op op) {
  op(set->lmo);
  op(set->xm);
  op(set->gutil);
  op(set->rdaCli);
  op(set->al);
  op(set->system);
  op(set->rdaAse);
  op(set->acseAse);
  op(set->rdaAe);
  op(set->rdaSacf);
  op(set->rdaSur);
  op(set->acse);
  op(set->session);
}

constexpr void (*kRemoveRecord[])() = {
    removeLmoTLS,     removeGutilTLS,  removeRdaCliTLS, removeAlTLS,  removeSystemTLS,
    removeRdaAseTLS,  removeAcseAseTLS, removeRdaAeTLS, removeRdaSacfTLS, removeRdaSurTLS,
    removeAcseTLS,    removeSessionTLS, removeXmTLS,
};

constexpr void (*kDestroyCache[])() = {
    destroyLmoTLSCache,     destroyGutilTLSCache,   destroyRdaCliTLSCache, destroyAlTLSCache,
    destroySystemTLSCache,  destroyRdaAseTLSCache,  destroyAcseAseTLSCache, destroyRdaAeTLSCache,
    destroyRdaSacfTLSCache, destroyRdaSurTLSCache,  destroyAcseTLSCache,   destroySessionTLSCache,
    destroyXmTLSCache,
};

}  // namespace

int32_t QvIsMainThread() { return 1; }

int32_t QvCreateThreadOrAcceptConnection() { return tp0tcp_procSocketConInd(); }

AllTLS MainTLS{};

int32_t QvCreateAllTLS() { return create(false); }

int32_t QvCreateMissingTLS() { return create(true); }

void QvRemoveAllTLS() {
  for (auto remove : kRemoveRecord) remove();
}

void QvRemoveAllTLSFromCache() {
  for (auto destroy : kDestroyCache) destroy();
}

void QvGetAllTLS(AllTLS* set) {
  if (set == nullptr) return;
  set->lmo = getLmoTLS(0);
  set->xm = getXmTLS(0);
  set->gutil = getGutilTLS(0);
  set->rdaCli = getRdaCliTLS(0);
  set->al = getAlTLS(0);
  set->system = getSystemTLS(0);
  set->rdaAse = getRdaAseTLS(0);
  set->acseAse = getAcseAseTLS(0);
  set->rdaAe = getRdaAeTLS(0);
  set->rdaSacf = getRdaSacfTLS(0);
  set->rdaSur = getRdaSurTLS(0);
  set->acse = getAcseTLS(0);
  set->session = getSessionTLS(0);
}

uint64_t QvChangeThreadIdInAllTLS(AllTLS* set, uint64_t threadId) {
  if (set == nullptr) return 0;
  const uint64_t previous = set->lmo != nullptr ? set->lmo->ownerThreadId : 0;
  eachRecord(set, [threadId](auto* rec) { tlsRekey(rec, threadId); });
  return previous;
}

void QvGetAllMainTLS() { QvGetAllTLS(&MainTLS); }

uint64_t QvChangeThreadIdInAllMainTLS(uint64_t threadId) { return QvChangeThreadIdInAllTLS(&MainTLS, threadId); }

uint64_t QvChangeThreadIdInAllMainTLSInCache(uint64_t threadId) {
  eachRecord(&MainTLS, [threadId](auto* rec) { tlsRekeySlot(rec, threadId); });
  return MainTLS.lmo != nullptr ? MainTLS.lmo->ownerThreadId : 0;
}
