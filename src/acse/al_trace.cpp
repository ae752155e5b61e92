#include "src/acse/al_trace.h"

TmHandle al_comTMHandle = -1;
TmHandle ac_aseTMHandle = -1;
