// The process's one ODBC environment: made by the first SQLAllocEnv, handed
// out by every later one, freed only by the detach routine.
//
// Minimal version: the environment's stack instance comes with the RDA
// client's environment, so lmoAllocEnv makes none yet and fails.
#pragma once

#include <cstdint>

// 0, the client's code, or -1.
int16_t lmoAllocEnv();
// 0, or -2 without an environment.
int16_t lmoFreeEnv();
