// Trace modules of the RDA service: the service as a whole, the service
// user, the application entity, the single-association object, the SACF and
// the RDA service element. The RDA client registers the handles at start-up;
// each part of the service writes its lines through its own handle, and a
// handle that is not registered writes nothing.
#pragma once

#include "src/runtime/tm.h"

// -1 = not registered.
extern TmHandle rda_comTMHandle;
extern TmHandle rda_surTMHandle;
extern TmHandle rda_aeTMHandle;
extern TmHandle rda_saoTMHandle;
extern TmHandle rda_sacfTMHandle;
extern TmHandle rda_aseTMHandle;
