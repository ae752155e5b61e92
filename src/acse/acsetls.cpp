#include "src/acse/acsetls.h"

QV_DEFINE_TLS_FAMILY(Acse, hSerializeAcseMutex, nullptr, -1, 9, "src/acse", "Could not found Acse TLS for %lX thread\n")
QV_DEFINE_TLS_FAMILY(AcseAse, hSerializeAcseAseMutex, nullptr, -1, 9, "src/acse", "Could not found AcseAse TLS for %lX thread\n")
