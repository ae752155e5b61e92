// The process's one ODBC environment: made by the first SQLAllocEnv, handed
// out by every later one, freed only by the detach routine.
// The RDA client's environment behind it starts the process's first
// stack instance.
#pragma once

#include <cstdint>

// 0, the client's code, or -1.
int16_t lmoAllocEnv();
// 0, or -2 without an environment.
int16_t lmoFreeEnv();
