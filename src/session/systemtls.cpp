#include "src/session/systemtls.h"

QV_DEFINE_TLS_FAMILY(System, hSerializeSystemMutex, nullptr, 0, 9, "src/system", "Could not found System TLS for %lX thread\n")
