#include "src/rda/rdatls.h"

QV_DEFINE_TLS_FAMILY(RdaAse, hSerializeRdaAseMutex, nullptr, -1, 9, "src/rda", "Could not found RdaAse TLS for %lX thread\n")
QV_DEFINE_TLS_FAMILY(RdaSacf, hSerializeRdaSacfMutex, nullptr, -1, 9, "src/rda", "Could not found RdaSacf TLS for %lX thread\n")
