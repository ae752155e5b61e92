// Per-thread records of the RDA service: those of the service element, the
// application entity, the SACF and the service user, each in the header
// beside its layer's code, gathered here for the code that handles a
// thread's records as a set.
#pragma once

#include "common/tlsfamily.h"
#include "src/rda/rda_aetls.h"
#include "src/rda/rda_asetls.h"
#include "src/rda/rda_sacftls.h"
#include "src/rda/rda_surtls.h"
