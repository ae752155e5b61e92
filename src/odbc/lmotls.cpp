#include "src/odbc/lmotls.h"

QV_DEFINE_TLS_FAMILY(Lmo, hSerializeLmoMutex, nullptr, -1, 3, "src/lmo", "Could not found Lmo TLS for %lX thread\n")
