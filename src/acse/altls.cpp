#include "src/acse/altls.h"

#include "src/acse/al_trace.h"

QV_DEFINE_TLS_FAMILY(Al, hSerializeAlMutex, &al_comTMHandle, -1, 9, "src/al",
                     "Could not found Al TLS for %lX thread")
