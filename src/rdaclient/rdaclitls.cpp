#include "src/rdaclient/rdaclitls.h"

#include "src/rdaclient/rdacli_conf.h"

QV_DEFINE_TLS_FAMILY(RdaCli, hSerializeRdaCliMutex, &rda_cliTMHandle, -1, 9, "src/rdacli",
                     "Could not found RdaCli TLS for %lX thread\n")
