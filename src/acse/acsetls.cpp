#include "src/acse/acsetls.h"

#include "src/acse/al_trace.h"

QV_DEFINE_TLS_FAMILY(Acse, hSerializeAcseMutex, &ac_aseTMHandle, -1, 9, "src/acse", "Could not found Acse TLS for %lX thread\n")
QV_DEFINE_TLS_FAMILY(AcseAse, hSerializeAcseAseMutex, &ac_aseTMHandle, -1, 9, "src/acse", "Could not found AcseAse TLS for %lX thread\n")

void QvSetAcError(uint32_t number) {
  if (AcseTLS* tls = getAcseTLS(0)) tls->acErrno = number;
}

uint32_t QvGetAcError() {
  const AcseTLS* tls = getAcseTLS(0);
  return tls != nullptr ? tls->acErrno : AC_ERR_NONE;
}
