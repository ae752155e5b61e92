// Trace module of the presentation layer; the RDA client registers it at
// start-up.
#pragma once

#include "src/runtime/tm.h"

extern TmHandle ps_TM_handle;  // -1 = not registered
