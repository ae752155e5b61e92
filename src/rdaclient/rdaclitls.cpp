#include "src/rdaclient/rdaclitls.h"

QV_DEFINE_TLS_FAMILY(RdaCli, hSerializeRdaCliMutex, nullptr, -1, 9, "src/rdacli", "Could not found RdaCli TLS for %lX thread\n")
