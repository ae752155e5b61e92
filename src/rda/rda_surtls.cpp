#include "src/rda/rda_surtls.h"

#include "src/rda/rda_trace.h"

QV_DEFINE_TLS_FAMILY(RdaSur, hSerializeRdaSurMutex, &rda_surTMHandle, -1, 9, "src/rdasur",
                     "Could not found RdaSur TLS for %lX thread\n")
