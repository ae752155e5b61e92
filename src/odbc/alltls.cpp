#include "src/odbc/alltls.h"

#include <iterator>

#include "src/runtime/gutrace.h"
#include "src/session/tp0tcp.h"

namespace {

constexpr const char* kSrc = "src/alltls";

struct FamilyOps {
  const char* initName;
  int32_t (*init)();
};

constexpr FamilyOps kCreateOrder[] = {
    {"initLmoTLS", initLmoTLS},         {"initXmTLS", initXmTLS},
    {"initGutilTLS", initGutilTLS},     {"initRdaCliTLS", initRdaCliTLS},
    {"initAlTLS", initAlTLS},           {"initSystemTLS", initSystemTLS},
    {"initRdaAseTLS", initRdaAseTLS},   {"initAcseAseTLS", initAcseAseTLS},
    {"initRdaAeTLS", initRdaAeTLS},     {"initRdaSacfTLS", initRdaSacfTLS},
    {"initRdaSurTLS", initRdaSurTLS},   {"initAcseTLS", initAcseTLS},
    {"initSessionTLS", initSessionTLS},
};

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

int32_t QvCreateAllTLS() {
  for (const FamilyOps& f : kCreateOrder) {
    if (f.init() == 0) {
      TR_TRACE(kSrc, htrODBC, 2, "%s() returned error. Driver initialization has failed.", f.initName);
      return 0;
    }
  }
  return 1;
}

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
  tlsRekey(set->lmo, threadId);
  tlsRekey(set->xm, threadId);
  tlsRekey(set->gutil, threadId);
  tlsRekey(set->rdaCli, threadId);
  tlsRekey(set->al, threadId);
  tlsRekey(set->system, threadId);
  tlsRekey(set->rdaAse, threadId);
  tlsRekey(set->acseAse, threadId);
  tlsRekey(set->rdaAe, threadId);
  tlsRekey(set->rdaSacf, threadId);
  tlsRekey(set->rdaSur, threadId);
  tlsRekey(set->acse, threadId);
  tlsRekey(set->session, threadId);
  return previous;
}
