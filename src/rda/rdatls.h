// Per-thread records of the RDA service element, entity, SACF and service user.
//
// Minimal version: only the fields every per-thread record has; the layer adds
// its own fields when it is built.
#pragma once

#include "common/tlsfamily.h"
#include "src/rda/rda_aetls.h"
#include "src/rda/rda_asetls.h"
#include "src/rda/rda_sacftls.h"
#include "src/rda/rda_surtls.h"
