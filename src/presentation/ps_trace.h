// Trace module of the presentation layer.
//
// Minimal version: only the handle, which the RDA client registers at
// start-up; the layer adds its traces when it is built.
#pragma once

#include "src/runtime/tm.h"

extern TmHandle ps_TM_handle;  // -1 = not registered
