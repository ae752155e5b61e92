#include "common/qvmutexes.h"

#include "src/runtime/gutrace.h"

QvMutexHandle hSerializeMutex = nullptr;

namespace {

constexpr const char* kSrc = "src/alltls";

QvMutexHandle* const kMutexes[] = {
    &hSerializeGutraceMutex, &hSerializeGlobalMutex,  &hSerializeLmoMutex,    &hSerializeTmMutex,
    &hSerializeXmMutex,      &hSerializeSystemMutex,  &hSerializeGutilMutex,  &hSerializeRdaCliMutex,
    &hSerializeRdaAseMutex,  &hSerializeAcseAseMutex, &hSerializeAlMutex,     &hSerializeRdaAeMutex,
    &hSerializeRdaSacfMutex, &hSerializeRdaSurMutex,  &hSerializeAcseMutex,   &hSerializeSessionMutex,
};

QvMutexHandle* const kRemoveOrder[] = {
    &hSerializeSessionMutex, &hSerializeAcseMutex,   &hSerializeGutraceMutex, &hSerializeRdaSurMutex,
    &hSerializeRdaSacfMutex, &hSerializeRdaAeMutex,  &hSerializeAlMutex,      &hSerializeAcseAseMutex,
    &hSerializeRdaAseMutex,  &hSerializeRdaCliMutex, &hSerializeGutilMutex,   &hSerializeSystemMutex,
    &hSerializeXmMutex,      &hSerializeTmMutex,     &hSerializeLmoMutex,     &hSerializeGlobalMutex,
};

}  // namespace

int32_t QvCreateMutexes() {
  // Only what is missing is made: a start-up that failed half-way is tried
  // again, and what the first try made may already be in use.
  for (QvMutexHandle* m : kMutexes) {
    if (*m != nullptr) continue;
    *m = QvCreateMutex();
    if (*m == nullptr) {
      TR_TRACE(kSrc, htrODBC, 2, "QvCreateMutex() returned error. Driver initialization has failed.");
      return 0;
    }
  }
  if (hSerializeConnectSem == nullptr) hSerializeConnectSem = QvCreateSem(1);
  return hSerializeConnectSem != nullptr ? 1 : 0;
}

void QvRemoveMutexes() {
  for (QvMutexHandle* m : kRemoveOrder) {
    QvDestroyMutex(*m);
    *m = nullptr;
  }
  QvDestroySem(hSerializeConnectSem);
  hSerializeConnectSem = nullptr;
}

int32_t QvIsGlobalMutex(QvMutexHandle h) {
  if (h == nullptr) return 0;
  return QvIsMultiThreaded() != 0 ? (h == hSerializeGlobalMutex ? 1 : 0) : (h == hSerializeMutex ? 1 : 0);
}
