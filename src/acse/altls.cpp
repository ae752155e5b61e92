#include "src/acse/altls.h"

QV_DEFINE_TLS_FAMILY(Al, hSerializeAlMutex, nullptr, -1, 9, "src/al", "Could not found Al TLS for %lX thread")
