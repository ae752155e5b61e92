#include "src/session/sessiontls.h"

QV_DEFINE_TLS_FAMILY(Session, hSerializeSessionMutex, nullptr, -1, 9, "src/sinit", "Could not found Session TLS for %lX thread")
