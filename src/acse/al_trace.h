// Trace modules of the application layer and of ACSE.
//
// Minimal version: only the handles, which the RDA client registers at
// start-up; the layers add their traces when they are built.
#pragma once

#include "src/runtime/tm.h"

extern TmHandle al_comTMHandle;  // application layer and directory lookups; -1 = not registered
extern TmHandle ac_aseTMHandle;  // ACSE service element; -1 = not registered
